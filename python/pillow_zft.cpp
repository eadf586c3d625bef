// pillow_zft, ZFT pictures for Pillow: a Python extension module over the
// core's ZFT codec, so that Python programs get the checks, messages and
// bytes of every other host. The few functions Pillow's glue calls are
// here in C++; the glue itself (pillow_zft.py: the image file class, its
// decoder, the save function, the registration) is Python, compiled into
// the module and run when it is imported, so nothing of it is ever a
// separate file beside the module.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <optional>
#include <string>

#include "core/compose.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"
#include "pillow_zft_glue.h"  // kGlue, made from pillow_zft.py

namespace py = pybind11;

namespace {

// A core failure as the Python error a Pillow user expects of it.
[[noreturn]] void raise(const core::Failure& failure) {
    switch (failure.kind()) {
    case core::Failure::Kind::TooLarge:
    case core::Failure::Kind::Unsupported:
        throw py::value_error(failure.reason());
    case core::Failure::Kind::OutOfMemory:
        throw std::bad_alloc();
    default:
        PyErr_SetString(PyExc_OSError, failure.reason().c_str());
        throw py::error_already_set();
    }
}

std::string_view view(const py::bytes& bytes) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(bytes.ptr(), &data, &size);
    return {data, static_cast<std::size_t>(size)};
}

// (width, height, notice, date) of a header, or SyntaxError, which is
// Pillow's way for a file to say "not this format".
py::tuple read_header(const py::bytes& head) {
    const std::string_view bytes = view(head);
    try {
        if (bytes.size() < zft::kHeaderSize)
            throw core::Failure(core::Failure::Kind::Damaged, core::short_file_reason(bytes.size()));
        const zft::ZftHeader header = zft::decode_header(bytes.substr(0, zft::kHeaderSize));
        core::check_zft_header(header);
        return py::make_tuple(header.width_value(), header.height_value(), core::notice_text(header),
                              core::iso_date(header));
    } catch (const core::Failure& failure) {
        PyErr_SetString(PyExc_SyntaxError, failure.reason().c_str());
        throw py::error_already_set();
    }
}

// Judges a file of `length` bytes that begins with `head` before its pixels
// are read: OSError with the reason where it is not the length its header
// promises.
void check_length(const py::bytes& head, std::uint64_t length) {
    try {
        core::check_zft_file(view(head), length);
    } catch (const core::Failure& failure) {
        raise(failure);
    }
}

// The pixels of a whole file, three bytes each, row by row.
py::bytes decode(const py::bytes& file) {
    const std::string_view bytes = view(file);
    std::string rgb;
    try {
        const core::ZftPicture zft =
            core::decode_zft({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, {});
        const int width = zft.picture.width();
        rgb.resize(zft::pixel_bytes(width, zft.picture.height()));
        auto* out = reinterpret_cast<std::uint8_t*>(rgb.data());
        for (int y = 0; y < zft.picture.height(); ++y)
            core::rgb_bytes(zft.picture.row(y), width, out + 3 * static_cast<std::size_t>(width) * y);
    } catch (const core::Failure& failure) {
        raise(failure);
    }
    return py::bytes(rgb);
}

// Asked before a picture's pixels are gathered, so that one too large for a
// ZFT file costs nothing.
void check_size(int width, int height) {
    try {
        core::check_zft_size(width, height);
    } catch (const core::Failure& failure) {
        raise(failure);
    }
}

// The ZFT file of width × height pixels of `channels` bytes each (3: RGB, 4:
// RGBA with straight alpha), row by row. The notice is UTF-8; `date` is
// "YYYY-MM-DD" or None for today.
py::bytes encode(const py::bytes& pixels, int width, int height, int channels, const std::string& notice,
                 const std::optional<std::string>& date) {
    const std::string_view bytes = view(pixels);
    try {
        core::check_zft_size(width, height);
        if ((channels != 3 && channels != 4) ||
            bytes.size() != static_cast<std::size_t>(channels) * static_cast<std::size_t>(width) * height)
            throw core::Failure(core::Failure::Kind::Unsupported, "the pixels are not " + std::to_string(width) +
                                                                      " × " + std::to_string(height) +
                                                                      " pixels of 3 or 4 bytes");
        core::Stamp stamp{notice};
        if (date)
            stamp.date = core::parse_date(*date);
        core::Picture picture(width, height);
        picture.setHasAlpha(channels == 4);
        const auto* from = reinterpret_cast<const std::uint8_t*>(bytes.data());
        for (int y = 0; y < height; ++y)
            core::pixels_of(from + static_cast<std::size_t>(channels) * width * y, width, channels, picture.row(y));
        return py::bytes(core::save_zft(picture, stamp));
    } catch (const core::Failure& failure) {
        raise(failure);
    }
}

// All of `bytes` at the position of the open file `fd`, whole or not at
// all (core::write_whole); OSError with the system's error number.
void write_whole(int fd, const py::bytes& bytes) {
    const std::string_view data = view(bytes);
    int error = 0;
    {
        const py::gil_scoped_release release;
        error = core::write_whole(fd, data);
    }
    if (error) {
        errno = error;
        PyErr_SetFromErrno(PyExc_OSError);
        throw py::error_already_set();
    }
}

}  // namespace

PYBIND11_MODULE(pillow_zft, module) {
    module.def("_read_header", &read_header);
    module.def("_check_length", &check_length);
    module.def("_decode", &decode);
    module.def("_check_size", &check_size);
    module.def("_encode", &encode);
    module.def("_write_whole", &write_whole);
    py::exec(py::str(kGlue), module.attr("__dict__"));
}
