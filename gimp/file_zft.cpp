// GIMP 2.10's file plug-in for ZFT pictures: File → Open reads them (by
// their header, whatever their name, or by .zft), File → Export writes them,
// and the open dialog previews them. Glue over the core's ZFT codec; its
// failures end here, as GIMP's execution error with the reason, which GIMP
// shows ("Opening 'rose.zft' failed: ...") or a script receives.
//
// A picture read keeps its notice as the image's comment (the parasite
// "gimp-comment", which Image → Comment edits) and its creation date in the
// parasite "zft-date" ("YYYY-MM-DD"), both saved with an XCF; a save takes
// the notice from the comment, cut to 48 characters as the converter cuts
// it, and the date from "zft-date" when the image has one, else today. It
// writes what every visible layer shows, transparent parts over the main
// window's colour: the bytes zft convert writes for the same picture,
// notice and date.
#include <libgimp/gimp.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/compose.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/picture.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

namespace {

constexpr const char* kLoadProc = "file-zft-load";
constexpr const char* kThumbProc = "file-zft-load-thumb";
constexpr const char* kSaveProc = "file-zft-save";
constexpr const char* kCommentParasite = "gimp-comment";
constexpr const char* kDateParasite = "zft-date";

using core::Failure;

void query() {
    static const GimpParamDef loadArgs[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_STRING, const_cast<gchar*>("filename"), const_cast<gchar*>("The name of the file to load")},
        {GIMP_PDB_STRING, const_cast<gchar*>("raw-filename"), const_cast<gchar*>("The name entered")},
    };
    static const GimpParamDef loadReturns[] = {
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Output image")},
    };
    static const GimpParamDef thumbArgs[] = {
        {GIMP_PDB_STRING, const_cast<gchar*>("filename"), const_cast<gchar*>("The name of the file to load")},
        {GIMP_PDB_INT32, const_cast<gchar*>("thumb-size"), const_cast<gchar*>("Preferred thumbnail size")},
    };
    static const GimpParamDef thumbReturns[] = {
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Thumbnail image")},
        {GIMP_PDB_INT32, const_cast<gchar*>("image-width"), const_cast<gchar*>("Width of the full-sized image")},
        {GIMP_PDB_INT32, const_cast<gchar*>("image-height"), const_cast<gchar*>("Height of the full-sized image")},
    };
    static const GimpParamDef saveArgs[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"),
         const_cast<gchar*>("Not used: every visible layer is saved")},
        {GIMP_PDB_STRING, const_cast<gchar*>("filename"), const_cast<gchar*>("The name of the file to save")},
        {GIMP_PDB_STRING, const_cast<gchar*>("raw-filename"), const_cast<gchar*>("The name entered")},
    };

    gimp_install_procedure(kLoadProc, "Loads ZFT pictures",
                           "Loads a ZFT picture as an RGB image; its notice becomes the image's comment and its "
                           "creation date the parasite zft-date.",
                           "ZFT Toolkit developers", "ZFT Toolkit developers", "2026", "ZFT picture", nullptr,
                           GIMP_PLUGIN, G_N_ELEMENTS(loadArgs), G_N_ELEMENTS(loadReturns), loadArgs, loadReturns);
    gimp_register_file_handler_mime(kLoadProc, "image/x-zft");
    // "1A", a month's first digit, then digits where the header has them
    // (each byte & 0xf0 is 0x30 for a digit): the header is judged in full
    // when the file is opened. Each triple but the last is and-ed with the
    // next ("&" in its offset).
    std::string magics = "0&,string,1A,2&,byte&0xfe,0x30";
    for (int offset : {3, 4, 5, 6, 7, 8, 9, 58, 59, 60, 61, 62, 63})
        magics += "," + std::to_string(offset) + (offset == 63 ? "" : "&") + ",byte&0xf0,0x30";
    gimp_register_magic_load_handler(kLoadProc, "zft", "", magics.c_str());

    gimp_install_procedure(kThumbProc, "Loads a preview of a ZFT picture",
                           "Loads a ZFT picture scaled down to fit the size asked for.", "ZFT Toolkit developers",
                           "ZFT Toolkit developers", "2026", nullptr, nullptr, GIMP_PLUGIN, G_N_ELEMENTS(thumbArgs),
                           G_N_ELEMENTS(thumbReturns), thumbArgs, thumbReturns);
    gimp_register_thumbnail_loader(kLoadProc, kThumbProc);

    gimp_install_procedure(kSaveProc, "Saves ZFT pictures",
                           "Saves what the image's visible layers show as a ZFT picture, at most 999 x 999 pixels, "
                           "transparent parts over the ZFT Toolkit window's colour; the notice is the image's "
                           "comment, the date the parasite zft-date (YYYY-MM-DD) or today.",
                           "ZFT Toolkit developers", "ZFT Toolkit developers", "2026", "ZFT picture", "*",
                           GIMP_PLUGIN, G_N_ELEMENTS(saveArgs), 0, saveArgs, nullptr);
    gimp_register_file_handler_mime(kSaveProc, "image/x-zft");
    gimp_register_save_handler(kSaveProc, "zft", "");
}

// A parasite's text, up to its first NUL: scripts give it with one or not.
std::optional<std::string> parasite_text(gint32 image, const char* name) {
    GimpParasite* parasite = gimp_image_get_parasite(image, name);
    if (!parasite)
        return std::nullopt;
    const auto* data = static_cast<const char*>(gimp_parasite_data(parasite));
    const std::size_t size = static_cast<std::size_t>(std::max<glong>(0, gimp_parasite_data_size(parasite)));
    std::string text(data, data ? strnlen(data, size) : 0);
    gimp_parasite_free(parasite);
    return text;
}

void attach_text(gint32 image, const char* name, const std::string& text) {
    GimpParasite* parasite = gimp_parasite_new(name, GIMP_PARASITE_PERSISTENT, text.size() + 1, text.c_str());
    gimp_image_attach_parasite(image, parasite);
    gimp_parasite_free(parasite);
}

// Throws Failure said of the file.
gint32 load_image(const char* filename) {
    const core::ZftPicture zft = core::read_zft(core::system_files(), filename);
    const int width = zft.picture.width();
    const int height = zft.picture.height();
    std::vector<guchar> rgb(zft::pixel_bytes(width, height));
    for (int y = 0; y < height; ++y)
        core::rgb_bytes(zft.picture.row(y), width, rgb.data() + 3 * static_cast<std::size_t>(width) * y);
    const gint32 image = gimp_image_new(width, height, GIMP_RGB);
    gimp_image_set_filename(image, filename);
    const gint32 layer = gimp_layer_new(image, "Background", width, height, GIMP_RGB_IMAGE, 100,
                                        gimp_image_get_default_new_layer_mode(image));
    gimp_image_insert_layer(image, layer, -1, 0);
    GeglBuffer* buffer = gimp_drawable_get_buffer(layer);
    const GeglRectangle whole = {0, 0, width, height};
    gegl_buffer_set(buffer, &whole, 0, babl_format("R'G'B' u8"), rgb.data(),
                    GEGL_AUTO_ROWSTRIDE);
    g_object_unref(buffer);
    if (const std::string notice = core::notice_text(zft.header); !notice.empty())
        attach_text(image, kCommentParasite, notice);
    attach_text(image, kDateParasite, core::iso_date(zft.header));
    return image;
}

// What the image's visible layers show, transparent where none covers it.
core::Picture visible_picture(gint32 image) {
    const int width = gimp_image_width(image);
    const int height = gimp_image_height(image);
    core::Picture picture(width, height, core::argb(0, 0, 0, 0));
    picture.setHasAlpha(true);
    // Merged on a copy, so that the user's image keeps its layers.
    const gint32 copy = gimp_image_duplicate(image);
    if (gimp_image_base_type(copy) != GIMP_RGB)
        gimp_image_convert_rgb(copy);
    const gint32 layer = gimp_image_merge_visible_layers(copy, GIMP_CLIP_TO_IMAGE);
    if (layer != -1) {
        gint left = 0, top = 0;
        gimp_drawable_offsets(layer, &left, &top);
        const int layerWidth = gimp_drawable_width(layer);
        const int layerHeight = gimp_drawable_height(layer);
        std::vector<guchar> rgba(4 * static_cast<std::size_t>(layerWidth) * layerHeight);
        GeglBuffer* buffer = gimp_drawable_get_buffer(layer);
        const GeglRectangle whole = {0, 0, layerWidth, layerHeight};
        gegl_buffer_get(buffer, &whole, 1.0, babl_format("R'G'B'A u8"),
                        rgba.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
        g_object_unref(buffer);
        const int first = std::max(0, left);
        const int end = std::min(width, left + layerWidth);
        for (int y = std::max(0, top); y < std::min(height, top + layerHeight) && first < end; ++y)
            core::pixels_of(&rgba[4 * (static_cast<std::size_t>(y - top) * layerWidth + (first - left))], end - first, 4,
                            picture.row(y) + first);
    }
    gimp_image_delete(copy);
    return picture;
}

// Throws Failure.
void save_image(gint32 image, const char* filename) {
    // Refused before the layers are merged: a picture too large costs nothing.
    core::check_zft_size(gimp_image_width(image), gimp_image_height(image));
    core::Stamp stamp;
    if (const std::optional<std::string> kept = parasite_text(image, kDateParasite))
        stamp.date = core::parse_date(*kept);
    stamp.notice = parasite_text(image, kCommentParasite).value_or("");
    core::save_zft(core::system_files(), filename, core::Existing::Replace, visible_picture(image), stamp);
}

// A thumbnail no larger than `size` on either side, for the open dialog.
gint32 load_thumbnail(const char* filename, int size, int* width, int* height) {
    const gint32 image = load_image(filename);
    *width = gimp_image_width(image);
    *height = gimp_image_height(image);
    const core::Size fitted = core::fit_within({*width, *height}, {std::max(size, 1), std::max(size, 1)});
    if (fitted.width != *width || fitted.height != *height)
        gimp_image_scale(image, fitted.width, fitted.height);
    return image;
}

// Sets GIMP's message for a failure. GIMP itself says which file and what
// was being done, so the reason alone follows.
void failed(const std::string& reason, GimpParam* values, gint* count) {
    static std::string message;
    message = reason;
    values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
    values[1].type = GIMP_PDB_STRING;
    values[1].data.d_string = message.data();
    *count = 2;
}

void run(const gchar* name, gint, const GimpParam* params, gint* count, GimpParam** returned) {
    static GimpParam values[4];
    *returned = values;
    *count = 1;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_SUCCESS;
    gegl_init(nullptr, nullptr);
    try {
        if (std::strcmp(name, kLoadProc) == 0) {
            values[1].type = GIMP_PDB_IMAGE;
            values[1].data.d_image = load_image(params[1].data.d_string);
            *count = 2;
        } else if (std::strcmp(name, kThumbProc) == 0) {
            int width = 0, height = 0;
            values[1].type = GIMP_PDB_IMAGE;
            values[1].data.d_image = load_thumbnail(params[0].data.d_string, params[1].data.d_int32, &width, &height);
            values[2].type = GIMP_PDB_INT32;
            values[2].data.d_int32 = width;
            values[3].type = GIMP_PDB_INT32;
            values[3].data.d_int32 = height;
            *count = 4;
        } else if (std::strcmp(name, kSaveProc) == 0) {
            save_image(params[1].data.d_image, params[3].data.d_string);
        } else {
            values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
        }
    } catch (const Failure& failure) {
        failed(failure.reason(), values, count);
    } catch (const std::bad_alloc&) {
        failed("there is not enough memory", values, count);
    }
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
