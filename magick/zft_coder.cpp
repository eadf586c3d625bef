// ImageMagick 6's coder for ZFT pictures: `convert rose.zft rose.png` reads
// one and `convert photo.png photo.zft` writes one, the bytes zft convert
// writes for the same picture, notice and date (transparent parts over the
// main window's colour). Glue over the core's ZFT codec; a core::Failure
// becomes an ImageMagick exception here, which convert prints and ends on.
//
// The notice is `-define zft:notice=...`, else the picture's comment (which
// a ZFT read gives it, and `-set comment` or a PNG's comment); the date is
// `-define zft:date=YYYY-MM-DD`, else the date a ZFT read gives the picture
// (the property zft:date), else today.
//
// ImageMagick loads it by the format's name: for "ZFT" (a .zft name,
// zft:file, or a file whose first bytes magic.xml beside it names ZFT) it
// looks for zft.la among its coder modules, opens the zft.so the .la names
// and calls RegisterZFTImage.
//
// A picture saved to a file is written as zft writes one, whole or not at
// all: the file it replaces (or the one a link there leads to) stays as it
// was until the new one is complete, also on a full disk. Only what is no
// file (standard output, a pipe, a device, a blob in memory) or what
// ImageMagick compresses on the way is written through ImageMagick's blob.
#include <magick/MagickCore.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "core/compose.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

// MagickCore exports its blob functions to its coders but installs no header
// for them; these are their declarations from its sources, unchanged through
// ImageMagick 6.
extern "C" {
enum BlobMode {
    UndefinedBlobMode,
    ReadBlobMode,
    ReadBinaryBlobMode,
    WriteBlobMode,
    WriteBinaryBlobMode,
    AppendBlobMode,
    AppendBinaryBlobMode
};
MagickBooleanType OpenBlob(const ImageInfo*, Image*, const BlobMode, ExceptionInfo*);
MagickBooleanType CloseBlob(Image*);
ssize_t ReadBlob(Image*, const size_t, unsigned char*);
ssize_t WriteBlob(Image*, const size_t, const unsigned char*);
}

namespace {

using core::Failure;

// 8-bit values and ImageMagick's quantum (its headers keep their own
// conversions private): exact both ways for 8-bit values, the nearest
// 8-bit value for deeper ones.
Quantum to_quantum(int value) {
    return static_cast<Quantum>(static_cast<std::uint64_t>(value) * static_cast<std::uint64_t>(QuantumRange) / 255);
}
int to_byte(Quantum quantum) {
    const auto range = static_cast<std::uint64_t>(QuantumRange);
    return static_cast<int>((static_cast<std::uint64_t>(quantum) * 255 + range / 2) / range);
}

// The largest well-formed file, and one byte more to tell it has more.
constexpr std::size_t kMostBytes = zft::file_size(zft::kMaxDimension, zft::kMaxDimension) + 1;

ExceptionType exception_type(const Failure& failure) {
    switch (failure.kind()) {
    case Failure::Kind::Damaged:
    case Failure::Kind::EndOfFile:
        return CorruptImageError;
    case Failure::Kind::OutOfMemory:
        return ResourceLimitError;
    case Failure::Kind::TooLarge:
    case Failure::Kind::Unsupported:
        return ImageError;
    default:
        return BlobError;
    }
}

// ImageMagick's own form of a coder's failure: "convert: <reason> `file'".
void throw_magick(ExceptionInfo* exception, ExceptionType type, const std::string& reason, const char* filename) {
    ThrowMagickException(exception, GetMagickModule(), type, reason.c_str(), "`%s'", filename);
}

MagickBooleanType IsZFT(const unsigned char* magick, const size_t length) {
    if (length < zft::kHeaderSize)
        return MagickFalse;
    try {
        core::check_zft_header(zft::decode_header(std::string_view(reinterpret_cast<const char*>(magick), zft::kHeaderSize)));
        return MagickTrue;
    } catch (...) {
        return MagickFalse;
    }
}

// All of the file, up to one byte more than a ZFT file can hold.
std::string read_all(Image* image) {
    std::string bytes;
    unsigned char buffer[1 << 16];
    while (bytes.size() < kMostBytes) {
        const ssize_t n = ReadBlob(image, std::min(sizeof buffer, kMostBytes - bytes.size()), buffer);
        if (n <= 0)
            break;
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
    }
    return bytes;
}

// Whether the file is asked for as ZFT (zft:file, or a .zft name) rather
// than brought here by its first six bytes alone.
bool asked_for(const ImageInfo* image_info) {
    char extension[MaxTextExtent];
    GetPathComponent(image_info->filename, ExtensionPath, extension);
    return image_info->affirm != MagickFalse || LocaleCompare(extension, "zft") == 0;
}

Image* ReadZFTImage(const ImageInfo* image_info, ExceptionInfo* exception) {
    Image* image = AcquireImage(image_info);
    if (OpenBlob(image_info, image, ReadBinaryBlobMode, exception) == MagickFalse)
        return DestroyImageList(image);
    try {
        const std::string bytes = read_all(image);
        (void)CloseBlob(image);
        // ImageMagick 6 never asks a coder's magic test (IsZFT); its magic
        // list only knows the first bytes. A file it brings here by them
        // whose header is no ZFT header is left unknown, as ImageMagick
        // leaves a file no coder takes.
        if (!asked_for(image_info) &&
            !IsZFT(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
            // Standard input comes as a temporary file, no name of the user's.
            throw_magick(exception, MissingDelegateError, "NoDecodeDelegateForThisImageFormat",
                         image_info->temporary ? "" : image_info->filename);
            return DestroyImageList(image);
        }
        if (bytes.size() >= kMostBytes)
            throw Failure(Failure::Kind::Damaged, "the file is longer than any ZFT picture (" +
                                                      std::to_string(kMostBytes - 1) + " bytes at most)");
        const core::ZftPicture zft =
            core::decode_zft({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, {});
        image->columns = static_cast<size_t>(zft.picture.width());
        image->rows = static_cast<size_t>(zft.picture.height());
        image->depth = 8;
        if (const std::string notice = core::notice_text(zft.header); !notice.empty())
            (void)SetImageProperty(image, "comment", notice.c_str());
        (void)SetImageProperty(image, "zft:date", core::iso_date(zft.header).c_str());
        if (image_info->ping)
            return GetFirstImageInList(image);
        if (SetImageExtent(image, image->columns, image->rows) == MagickFalse) {
            InheritException(exception, &image->exception);
            return DestroyImageList(image);
        }
        for (int y = 0; y < zft.picture.height(); ++y) {
            PixelPacket* q = QueueAuthenticPixels(image, 0, y, image->columns, 1, exception);
            if (!q)
                return DestroyImageList(image);
            const core::Argb* row = zft.picture.row(y);
            for (int x = 0; x < zft.picture.width(); ++x, ++q) {
                SetPixelRed(q, to_quantum(core::red_of(row[x])));
                SetPixelGreen(q, to_quantum(core::green_of(row[x])));
                SetPixelBlue(q, to_quantum(core::blue_of(row[x])));
                SetPixelOpacity(q, OpaqueOpacity);
            }
            if (SyncAuthenticPixels(image, exception) == MagickFalse)
                return DestroyImageList(image);
        }
        return GetFirstImageInList(image);
    } catch (const Failure& failure) {
        throw_magick(exception, exception_type(failure), failure.reason(), image_info->filename);
    } catch (const std::bad_alloc&) {
        throw_magick(exception, ResourceLimitError, "there is not enough memory to read it", image_info->filename);
    }
    (void)CloseBlob(image);
    return DestroyImageList(image);
}

// Where the codec writes: the image's blob, every byte or a failure.
class BlobSink final : public core::ByteSink {
public:
    explicit BlobSink(Image* image) : image_(image) {}
    void write(std::string_view bytes) override {
        if (WriteBlob(image_, bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data())) !=
            static_cast<ssize_t>(bytes.size()))
            throw core::system_failure(errno ? errno : EIO);
    }

private:
    Image* image_;
};

std::string notice_of(const ImageInfo* image_info, Image* image) {
    if (const char* given = GetImageOption(image_info, "zft:notice"))
        return given;
    if (const char* comment = GetImageProperty(image, "comment"))
        return comment;
    return {};
}

core::Date date_of(const ImageInfo* image_info, Image* image) {
    const char* given = GetImageOption(image_info, "zft:date");
    if (!given)
        given = GetImageProperty(image, "zft:date");
    return given ? core::parse_date(given) : core::today();
}

// The picture as the core takes it: straight alpha where it has any.
core::Picture picture_of(Image* image) {
    if (TransformImageColorspace(image, sRGBColorspace) == MagickFalse)
        throw Failure(Failure::Kind::Unsupported, "the picture cannot be had in RGB");
    const int width = static_cast<int>(image->columns);
    const int height = static_cast<int>(image->rows);
    const bool alpha = image->matte != MagickFalse;
    core::Picture picture(width, height);
    picture.setHasAlpha(alpha);
    for (int y = 0; y < height; ++y) {
        const PixelPacket* p = GetVirtualPixels(image, 0, y, image->columns, 1, &image->exception);
        if (!p)
            throw Failure(Failure::Kind::Io, "its pixels cannot be read");
        core::Argb* row = picture.row(y);
        for (int x = 0; x < width; ++x, ++p)
            row[x] = core::argb(to_byte(GetPixelRed(p)), to_byte(GetPixelGreen(p)), to_byte(GetPixelBlue(p)),
                                alpha ? to_byte(GetPixelAlpha(p)) : 255);
    }
    return picture;
}

// The regular file OpenBlob would write this picture to, or nothing where
// it writes elsewhere: a blob in memory, standard output, a descriptor, a
// pipe, a stream that compresses (.gz, .bz2 ...), a FIFO or a device. Named
// as OpenBlob names it: a picture among others gets its scene's number,
// "out-1.zft", unless the name says where ("out%d.zft").
std::optional<std::string> file_target(const ImageInfo* image_info, Image* image) {
    const std::string name = image->filename;
    if (image_info->blob || image_info->stream || image_info->file || name.empty() || name == "-" || name[0] == '|' ||
        (name.starts_with("fd:") && name.size() > 3 &&
         name.find_first_not_of("0123456789", 3) == std::string::npos))
        return std::nullopt;
    char extension[MaxTextExtent];
    GetPathComponent(image->filename, ExtensionPath, extension);
    for (const char* packed : {"Z", "gz", "wmz", "svgz", "bz2"})
        if (LocaleCompare(extension, packed) == 0)
            return std::nullopt;
    char formed[MaxTextExtent];
    (void)InterpretImageFilename(image_info, image, image->filename, static_cast<int>(image->scene), formed);
    if (LocaleCompare(formed, image->filename) == 0 &&
        (GetPreviousImageInList(image) || GetNextImageInList(image))) {
        char root[MaxTextExtent];
        GetPathComponent(image->filename, RootPath, root);
        const std::string scene = std::to_string(image->scene);
        (void)CopyMagickString(formed,
                               (std::string(root) + "-" + scene + (*extension ? "." + std::string(extension) : ""))
                                   .c_str(),
                               MaxTextExtent);
    }
    // A folder is the core's to refuse; what is neither a folder nor a
    // regular file is written as ImageMagick writes it.
    struct stat status {};
    if (::stat(formed, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::nullopt;
    return std::string(formed);
}

MagickBooleanType WriteZFTImage(const ImageInfo* image_info, Image* image) {
    try {
        // Refused before the output is opened: nothing is written.
        core::check_zft_size(static_cast<int>(std::min<size_t>(image->columns, 1'000'000)),
                             static_cast<int>(std::min<size_t>(image->rows, 1'000'000)));
        const core::Stamp stamp{notice_of(image_info, image), date_of(image_info, image)};
        const core::Picture picture = picture_of(image);
        if (const std::optional<std::string> path = file_target(image_info, image)) {
            if (IsRightsAuthorized(PathPolicyDomain, WritePolicyRights, image->filename) == MagickFalse) {
                throw_magick(&image->exception, PolicyError, "NotAuthorized", image->filename);
                return MagickFalse;
            }
            (void)CopyMagickString(image->filename, path->c_str(), MaxTextExtent);
            core::save_zft(core::system_files(), *path, core::Existing::Replace, picture, stamp);
            return MagickTrue;
        }
        if (OpenBlob(image_info, image, WriteBinaryBlobMode, &image->exception) == MagickFalse)
            return MagickFalse;
        BlobSink out(image);
        errno = 0;
        try {
            core::save_zft(out, picture, stamp);
        } catch (...) {
            (void)CloseBlob(image);
            throw;
        }
        // What closing meets (a full disk, when the last bytes are flushed)
        // ImageMagick finds itself after this returns, from the blob's own
        // state ("unable to write file"): CloseBlob's result means the
        // opposite in some releases of ImageMagick 6 than in others.
        (void)CloseBlob(image);
        return MagickTrue;
    } catch (const Failure& failure) {
        throw_magick(&image->exception, exception_type(failure), failure.reason(), image->filename);
    } catch (const std::bad_alloc&) {
        throw_magick(&image->exception, ResourceLimitError, "there is not enough memory", image->filename);
    }
    return MagickFalse;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) size_t RegisterZFTImage(void) {
    MagickInfo* entry = SetMagickInfo("ZFT");
    entry->decoder = ReadZFTImage;
    entry->encoder = WriteZFTImage;
    entry->magick = IsZFT;
    entry->adjoin = MagickFalse;  // one picture a file
    entry->description = ConstantString("ZFT picture");
    entry->mime_type = ConstantString("image/x-zft");
    entry->magick_module = ConstantString("ZFT");
    (void)RegisterMagickInfo(entry);
    return MagickImageCoderSignature;
}

__attribute__((visibility("default"))) void UnregisterZFTImage(void) { (void)UnregisterMagickInfo("ZFT"); }

}  // extern "C"
