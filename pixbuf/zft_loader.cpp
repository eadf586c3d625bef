// gdk-pixbuf's loader for ZFT pictures: the GNOME and Xfce viewers
// (Eye of GNOME, Ristretto, gThumb) and everything else that reads pictures
// through gdk-pixbuf open .zft files with it, and GTK programs save them
// (gdk_pixbuf_save (pixbuf, path, "zft", &error, "notice", "...", NULL)).
//
// gdk-pixbuf feeds a file in pieces of any size. The header is judged as
// soon as it is in, and the load stops at the first byte past the picture
// it promises, however long the file goes on: time and memory are the
// picture's, never the file's. Nothing of the picture, not even its size,
// is told before the file has ended where its header says (at most 3 MB
// in), so that gdk_pixbuf_get_file_info never gives the size of a file
// the load then refuses. A damaged file always ends in a GError that says
// what is wrong, never in a crash or a half-made picture.
//
// Saving writes the bytes zft convert writes for the same picture, notice
// and date: transparent pixels over the main window's colour. Its options
// are "notice" (UTF-8, cut to 48 characters as the converter cuts it) and
// "date" ("YYYY-MM-DD", today when not given). The file is written whole and
// flushed to the disk, or not at all: a save that fails ends in a GError
// with the system's reason and leaves nothing of the picture in the file.
//
// C entry points for gdk-pixbuf, C++ inside, over the core's ZFT codec; no
// exception ever crosses them: a core::Failure becomes a GError here.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk-pixbuf/gdk-pixbuf-io.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "core/compose.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

namespace {

using core::Failure;

struct Load {
    GdkPixbufModuleSizeFunc size_func = nullptr;
    GdkPixbufModulePreparedFunc prepared_func = nullptr;
    GdkPixbufModuleUpdatedFunc updated_func = nullptr;
    gpointer user_data = nullptr;

    std::string header;          // the first bytes, until all 64 are in
    std::uint64_t received = 0;  // bytes so far, the header's among them
    GdkPixbuf* pixbuf = nullptr;
    int width = 0;
    int height = 0;
    // Once set, every later call gives it again: gdk-pixbuf may ask for the
    // error at the end of a load as well as where it happened.
    std::optional<Failure> failure;
};

const Failure kNoMemory(Failure::Kind::OutOfMemory, "Not enough memory to read the ZFT picture");

// The GError a failure is to gdk-pixbuf.
gboolean report(const Load& load, GError** error) {
    if (!load.failure)
        return TRUE;
    if (error && !*error) {
        const Failure& failure = *load.failure;
        switch (failure.kind()) {
        case Failure::Kind::Damaged:
        case Failure::Kind::EndOfFile:
            g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "Cannot read the ZFT picture: %s",
                        failure.reason().c_str());
            break;
        case Failure::Kind::OutOfMemory:
            g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, failure.reason().c_str());
            break;
        default:
            g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED, failure.reason().c_str());
        }
    }
    return FALSE;
}

// Once the header is whole: judged, and the picture made to take the pixels.
// Throws Failure.
void start_picture(Load& load) {
    const zft::ZftHeader header = zft::decode_header(load.header);
    core::check_zft_header(header);
    load.width = header.width_value();
    load.height = header.height_value();
    load.pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, load.width, load.height);
    if (!load.pixbuf)
        throw Failure(Failure::Kind::OutOfMemory, "Not enough memory for a picture of " + std::to_string(load.width) +
                                                      " × " + std::to_string(load.height) + " pixels");
    // Under the names the saver takes them by, so that a program saves the
    // picture again with its own notice and date.
    gdk_pixbuf_set_option(load.pixbuf, "date", core::iso_date(header).c_str());
    if (const std::string notice = core::notice_text(header); !notice.empty())
        gdk_pixbuf_set_option(load.pixbuf, "notice", notice.c_str());
}

// Once the file has ended where its header says: the picture told, its size
// first. Throws Failure.
void finish_picture(Load& load) {
    if (load.size_func) {
        int width = load.width;
        int height = load.height;
        load.size_func(&width, &height, load.user_data);
        // A caller that only wanted the size asks for nothing more.
        if (width == 0 || height == 0)
            throw Failure(Failure::Kind::Io, "Only the size of the ZFT picture was asked for");
    }
    if (load.prepared_func)
        load.prepared_func(load.pixbuf, nullptr, load.user_data);
    if (load.updated_func)
        load.updated_func(load.pixbuf, 0, 0, load.width, load.height, load.user_data);
}

// Copies pixel bytes to where they belong in the picture's rows (which may
// be padded).
void take_pixels(Load& load, const guchar* bytes, std::uint64_t size) {
    const std::uint64_t rowSize = 3ull * static_cast<std::uint64_t>(load.width);
    guchar* pixels = gdk_pixbuf_get_pixels(load.pixbuf);
    const std::uint64_t stride = static_cast<std::uint64_t>(gdk_pixbuf_get_rowstride(load.pixbuf));
    std::uint64_t at = load.received - zft::kHeaderSize;
    while (size > 0) {
        const std::uint64_t row = at / rowSize;
        const std::uint64_t column = at % rowSize;
        const std::uint64_t n = std::min(size, rowSize - column);
        std::copy_n(bytes, n, pixels + row * stride + column);
        bytes += n;
        size -= n;
        at += n;
    }
    load.received = zft::kHeaderSize + at;
}

// Throws Failure.
void increment(Load& load, const guchar* buffer, guint size) {
    if (load.header.size() < zft::kHeaderSize) {
        const std::size_t n = std::min<std::size_t>(size, zft::kHeaderSize - load.header.size());
        load.header.append(reinterpret_cast<const char*>(buffer), n);
        load.received += n;
        buffer += n;
        size -= static_cast<guint>(n);
        if (load.header.size() < zft::kHeaderSize)
            return;
        start_picture(load);
    }
    const std::uint64_t promised = zft::file_size(load.width, load.height);
    if (size > promised - load.received)
        throw Failure(Failure::Kind::Damaged, core::longer_reason(promised));
    take_pixels(load, buffer, size);
}

// Saving.

// The options of a save. Throws Failure for an option that is not one of
// ours, or a value it does not take: a bad option, to gdk-pixbuf.
core::Stamp save_options(gchar** keys, gchar** values) {
    auto bad_option = [](std::string reason) { return Failure(Failure::Kind::Unsupported, std::move(reason)); };
    core::Stamp options;
    for (int i = 0; keys && keys[i]; ++i) {
        const std::string key = keys[i];
        const std::string value = values && values[i] ? values[i] : "";
        if (key == "notice") {
            options.notice = value;
        } else if (key == "date") {
            options.date = core::parse_date(value);
        } else {
            throw bad_option("The ZFT saver takes the options \"notice\" and \"date\", not \"" + key + "\"");
        }
    }
    return options;
}

// The pixbuf's pixels as the core takes them: straight alpha where it has
// any, as gdk-pixbuf keeps it.
core::Picture picture_of(const GdkPixbuf* pixbuf) {
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 ||
        channels != (alpha ? 4 : 3))
        throw Failure(Failure::Kind::Unsupported, "only 8-bit RGB and RGBA pictures can be saved as ZFT");
    const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
    const std::size_t stride = static_cast<std::size_t>(gdk_pixbuf_get_rowstride(pixbuf));
    core::Picture picture(width, height);
    picture.setHasAlpha(alpha);
    for (int y = 0; y < height; ++y)
        core::pixels_of(pixels + static_cast<std::size_t>(y) * stride, width, channels, picture.row(y));
    return picture;
}

// Throws Failure.
void save_zft(core::ByteSink& out, GdkPixbuf* pixbuf, const core::Stamp& options) {
    // Refused before its pixels are gathered: a picture too large costs nothing.
    core::check_zft_size(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf));
    core::save_zft(out, picture_of(pixbuf), options);
}

// The whole file, made in memory, written at once: gdk-pixbuf removes the
// name it opened when a save fails, which through a symbolic link is the
// link alone, so the file it leads to must keep no part. Throws Failure.
void write_file(FILE* file, const std::string& bytes) {
    // What the C library holds goes first, so that the descriptor is where
    // the file's position is.
    if (std::fflush(file) != 0)
        throw core::system_failure(errno);
    const int fd = fileno(file);
    if (const int error = core::write_whole(fd, bytes))
        throw core::system_failure(error);
    (void)fseeko(file, lseek(fd, 0, SEEK_CUR), SEEK_SET);
}

class CallbackSink final : public core::ByteSink {
public:
    CallbackSink(GdkPixbufSaveFunc func, gpointer data) : func_(func), data_(data) {}
    ~CallbackSink() override { g_clear_error(&error_); }
    void write(std::string_view bytes) override {
        if (!func_(bytes.data(), bytes.size(), &error_, data_))
            throw Failure(Failure::Kind::Io, error_ ? error_->message : "the picture's bytes were not taken");
    }
    // The caller's own error for a write it refused, handed back as it is.
    GError* take_error() { return std::exchange(error_, nullptr); }

private:
    GdkPixbufSaveFunc func_;
    gpointer data_;
    GError* error_ = nullptr;
};

void set_save_error(GError** error, GQuark domain, int code, const std::string& message) {
    g_set_error_literal(error, domain, code, message.c_str());
}

// Runs a save with its options, turning what it throws into a GError.
template <typename Save>
gboolean saving(GError** error, gchar** keys, gchar** values, Save save) {
    core::Stamp options;
    try {
        options = save_options(keys, values);
    } catch (const Failure& failure) {
        set_save_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_BAD_OPTION, failure.reason());
        return FALSE;
    }
    try {
        save(options);
        return TRUE;
    } catch (const Failure& failure) {
        set_save_error(error, GDK_PIXBUF_ERROR,
                       failure.kind() == Failure::Kind::OutOfMemory ? GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY
                                                                    : GDK_PIXBUF_ERROR_FAILED,
                       "Cannot write the ZFT picture: " + failure.reason());
    } catch (const std::bad_alloc&) {
        set_save_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
                       "Cannot write the ZFT picture: there is not enough memory");
    }
    return FALSE;
}

}  // namespace

extern "C" {

static gpointer zft_begin_load(GdkPixbufModuleSizeFunc size_func, GdkPixbufModulePreparedFunc prepared_func,
                               GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data, GError** error) {
    auto* load = new (std::nothrow) Load;
    if (!load) {
        g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, kNoMemory.reason().c_str());
        return nullptr;
    }
    load->size_func = size_func;
    load->prepared_func = prepared_func;
    load->updated_func = updated_func;
    load->user_data = user_data;
    return load;
}

static gboolean zft_load_increment(gpointer context, const guchar* buffer, guint size, GError** error) {
    Load& load = *static_cast<Load*>(context);
    if (!load.failure) {
        try {
            increment(load, buffer, size);
        } catch (const Failure& failure) {
            load.failure = failure;
        } catch (...) {
            load.failure = kNoMemory;
        }
    }
    return report(load, error);
}

static gboolean zft_stop_load(gpointer context, GError** error) {
    auto* load = static_cast<Load*>(context);
    // Only now is the length known: a file cut short fails here, and a whole
    // one is told.
    if (!load->failure) {
        try {
            core::check_zft_file(load->header, load->received);
            finish_picture(*load);
        } catch (const Failure& failure) {
            load->failure = failure;
        } catch (...) {
            load->failure = kNoMemory;
        }
    }
    const gboolean good = report(*load, error);
    if (load->pixbuf)
        g_object_unref(load->pixbuf);
    delete load;
    return good;
}

static gboolean zft_save(FILE* file, GdkPixbuf* pixbuf, gchar** keys, gchar** values, GError** error) {
    return saving(error, keys, values, [&](const core::Stamp& options) {
        core::StringSink out;
        save_zft(out, pixbuf, options);
        write_file(file, out.bytes());
    });
}

static gboolean zft_save_to_callback(GdkPixbufSaveFunc save_func, gpointer user_data, GdkPixbuf* pixbuf,
                                     gchar** keys, gchar** values, GError** error) {
    CallbackSink out(save_func, user_data);
    GError* own = nullptr;
    if (saving(&own, keys, values, [&](const core::Stamp& options) { save_zft(out, pixbuf, options); }))
        return TRUE;
    // The caller's reason where its own function refused the bytes.
    if (GError* callers = out.take_error()) {
        g_clear_error(&own);
        own = callers;
    }
    g_propagate_error(error, own);
    return FALSE;
}

static gboolean zft_is_save_option_supported(const gchar* key) {
    return g_strcmp0(key, "notice") == 0 || g_strcmp0(key, "date") == 0;
}

// A header begins with the version "1A" and a month "01".."12". gdk-pixbuf
// mostly sniffs by the MIME database (whose rule for image/x-zft looks
// further); these are for when it does not.
static GdkPixbufModulePattern zft_signature[] = {
    {const_cast<char*>("1A0"), const_cast<char*>("   "), 60},
    {const_cast<char*>("1A1"), const_cast<char*>("   "), 60},
    {nullptr, nullptr, 0},
};

static const gchar* zft_mime_types[] = {"image/x-zft", nullptr};
static const gchar* zft_extensions[] = {"zft", nullptr};

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module);
G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info);

void fill_vtable(GdkPixbufModule* module) {
    module->begin_load = zft_begin_load;
    module->stop_load = zft_stop_load;
    module->load_increment = zft_load_increment;
    module->save = zft_save;
    module->save_to_callback = zft_save_to_callback;
    module->is_save_option_supported = zft_is_save_option_supported;
}

void fill_info(GdkPixbufFormat* info) {
    info->name = const_cast<gchar*>("zft");
    info->signature = zft_signature;
    info->domain = nullptr;
    info->description = const_cast<gchar*>("ZFT picture");
    info->mime_types = const_cast<gchar**>(zft_mime_types);
    info->extensions = const_cast<gchar**>(zft_extensions);
    info->flags = GDK_PIXBUF_FORMAT_WRITABLE | GDK_PIXBUF_FORMAT_THREADSAFE;
    info->license = const_cast<gchar*>("other");
}

}  // extern "C"
