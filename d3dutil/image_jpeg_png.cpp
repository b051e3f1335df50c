// JPEG (libjpeg-turbo) and PNG (libpng simplified API) decoding of files held in memory.
// Limits: no side above kMaxImageSide and no decoded image above kMaxImageBytes, checked from
// the header before any pixel memory is allocated; CMYK JPEGs are refused. Library errors end
// the decode through their own error paths (longjmp for libjpeg, png_image for libpng), never
// by aborting the process.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "d3dutil/image.h"

namespace d3dutil {
namespace {

struct JpegError {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// Kept free of objects with destructors: a longjmp out of libjpeg lands in this frame.
bool JpegDecodeInto(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info,
                    std::string* error) {
  jpeg_decompress_struct cinfo;
  JpegError jerr;
  cinfo.err = jpeg_std_error(&jerr.base);
  jerr.base.error_exit = JpegErrorExit;
  jerr.base.emit_message = JpegSilence;
  jerr.message[0] = 0;
  if (setjmp(jerr.jump)) {
    jpeg_destroy_decompress(&cinfo);
    if (error) error->assign(jerr.message[0] ? jerr.message : "bad JPEG");
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    if (error) error->assign("bad JPEG header");
    return false;
  }
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    jpeg_destroy_decompress(&cinfo);
    if (error) error->assign("CMYK JPEG not supported");
    return false;
  }
  const bool grey = cinfo.num_components == 1;
  cinfo.out_color_space = JCS_EXT_RGBA;
  if (!AllocateImage(cinfo.image_width, cinfo.image_height, out, error)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.Pixel(0, cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  info.width = out.width;
  info.height = out.height;
  info.fileType = ImageFileType::Jpg;
  info.format = grey ? PixelFormat::L8 : PixelFormat::X8R8G8B8;
  return true;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  info = {};
  if (!data || size < 4) {
    if (error) *error = "truncated JPEG";
    return false;
  }
  return JpegDecodeInto(data, size, out, info, error);
}

bool DecodePng(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  info = {};
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!data || !png_image_begin_read_from_memory(&image, data, size)) {
    if (error) *error = image.message[0] ? image.message : "bad PNG";
    png_image_free(&image);
    return false;
  }
  const bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  if (!AllocateImage(image.width, image.height, out, error)) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), static_cast<png_int_32>(out.width * 4), nullptr)) {
    if (error) *error = image.message[0] ? image.message : "bad PNG";
    png_image_free(&image);
    return false;
  }
  info.width = out.width;
  info.height = out.height;
  info.fileType = ImageFileType::Png;
  if (!colour) info.format = hasAlpha ? PixelFormat::A8L8 : PixelFormat::L8;
  else info.format = hasAlpha ? PixelFormat::A8R8G8B8 : PixelFormat::X8R8G8B8;
  return true;
}

}  // namespace d3dutil
