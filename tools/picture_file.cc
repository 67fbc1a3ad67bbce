// PNG through libpng's simplified reader, JPEG through libjpeg with its
// errors turned into a failure return instead of an exit.
#include "tools/picture_file.h"

#include <dirent.h>
#include <jpeglib.h>
#include <png.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "tools/tool_files.h"

const char kPictureFolder[] = "/usr/share/backgrounds";

namespace {

// Larger pictures are refused rather than risking a huge allocation.
constexpr uint32_t kMaxSide = 20000;

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool LoadPng(const char* path, RgbPicture* out, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    *error = std::string(path) + ": " + image.message;
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
    png_image_free(&image);
    *error = std::string(path) + ": picture size out of range";
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  out->width = image.width;
  out->height = image.height;
  out->rgb.assign(size_t(image.width) * image.height * 3, 0);
  png_color black = {0, 0, 0};
  if (!png_image_finish_read(&image, &black, out->rgb.data(), 0, nullptr)) {
    *error = std::string(path) + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char text[JMSG_LENGTH_MAX];
};

void JpegExit(j_common_ptr info) {
  JpegError* e = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, e->text);
  std::longjmp(e->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

// Kept apart from LoadJpeg so that no object with a destructor lives in the
// frame setjmp returns to.
bool DecodeJpeg(std::FILE* f, RgbPicture* out, char* reason) {
  jpeg_decompress_struct info;
  JpegError err;
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegExit;
  err.mgr.emit_message = JpegQuiet;
  if (setjmp(err.jump)) {
    std::snprintf(reason, JMSG_LENGTH_MAX, "%s", err.text);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, f);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_width == 0 || info.output_height == 0 || info.output_width > kMaxSide ||
      info.output_height > kMaxSide || info.output_components != 3) {
    std::snprintf(reason, JMSG_LENGTH_MAX, "picture size or layout out of range");
    jpeg_destroy_decompress(&info);
    return false;
  }
  out->width = info.output_width;
  out->height = info.output_height;
  out->rgb.assign(size_t(out->width) * out->height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->rgb.data() + size_t(info.output_scanline) * out->width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

bool LoadJpeg(const char* path, RgbPicture* out, std::string* error) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    *error = std::string(path) + ": " + ReadProblem(path);
    return false;
  }
  char reason[JMSG_LENGTH_MAX] = {};
  const bool ok = DecodeJpeg(f, out, reason);
  std::fclose(f);
  if (!ok) *error = std::string(path) + ": " + reason;
  return ok;
}

}  // namespace

namespace {

// The wallpaper files in the folder, sorted.
std::vector<std::string> PictureFiles() {
  std::vector<std::string> names;
  DIR* dir = ::opendir(kPictureFolder);
  if (!dir) return names;
  while (const dirent* d = ::readdir(dir)) {
    const std::string n = d->d_name;
    for (const char* ext : {".jpg", ".jpeg", ".png"}) {
      const size_t len = std::strlen(ext);
      if (n.size() > len && strcasecmp(n.c_str() + n.size() - len, ext) == 0) names.push_back(n);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// "Bridge_by_X.jpg" answers to "bridge": the file name up to "_by_" or the
// extension, lower case.
std::string ShortName(const std::string& file) {
  size_t end = file.find("_by_");
  if (end == std::string::npos) end = file.rfind('.');
  std::string n = file.substr(0, end);
  for (char& c : n) c = char(std::tolower(static_cast<unsigned char>(c)));
  return n;
}

}  // namespace

std::string FindPicture(const char* name) {
  if (std::strchr(name, '/') || IsFile(name)) return IsFile(name) ? name : "";
  std::string wanted = name;
  for (char& c : wanted) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& file : PictureFiles())
    if (ShortName(file) == wanted) return std::string(kPictureFolder) + "/" + file;
  return "";
}

std::vector<std::string> ListPictures() {
  std::vector<std::string> names;
  for (const std::string& file : PictureFiles()) names.push_back(ShortName(file));
  std::sort(names.begin(), names.end());
  return names;
}

bool LoadPicture(const char* path, RgbPicture* out, std::string* error) {
  uint8_t magic[4] = {};
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    *error = std::string(path) + ": " + ReadProblem(path);
    return false;
  }
  const size_t got = std::fread(magic, 1, sizeof magic, f);
  std::fclose(f);
  if (got >= 4 && magic[0] == 0x89 && magic[1] == 'P' && magic[2] == 'N' && magic[3] == 'G')
    return LoadPng(path, out, error);
  if (got >= 2 && magic[0] == 0xFF && magic[1] == 0xD8) return LoadJpeg(path, out, error);
  *error = std::string(path) + ": neither a PNG nor a JPEG file";
  return false;
}
