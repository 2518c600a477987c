#include "shell/upload_bytes.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/os_path.h"
#include "session/files.h"
#include "upload/fs_image.h"
#include "upload/jpg_wrap.h"
#include "upload/upload_limits.h"
#include "upload/ymodem_stream.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// The largest upload file of `type` the loader reads: a picture whose image
// still fits the 16-bit length field, anything else what one stream carries.
std::uint64_t read_limit(const std::string& type) {
    return type == "JPG" ? fs_image_max_jpg : stream_max_payload;
}

std::string too_big_text(const std::string& type, std::uint64_t size) {
    if (type == "JPG")
        return "The JPG picture is too big for the welcome screen: " + std::to_string(size) +
               " bytes, at most " + std::to_string(fs_image_max_jpg) + " fit.";
    return *payload_refusal("", size);
}

// The types whose file goes to the box as it is (a JPG inside its image).
bool uploadable(const std::string& type) {
    return type == "DSP" || type == "JPG" || type == "BIN";
}

// An empty image would go out as a complete upload ("done") and leave the box
// with nothing to start.
std::string empty_text(const std::string& path) {
    return "The file " + path + " is empty: there is nothing to upload.";
}

// The bytes of the upload file, or why they cannot be had. The file system
// is asked first: something that is no regular file (a folder, a FIFO, a
// device) is never opened, since reading it could block or never end, and
// a file too big for any upload is never read into memory.
std::optional<std::string> read_upload_bytes(const std::string& path, const std::string& type,
                                             std::string& problem) {
    std::error_code ec;
    const fs::file_status st = fs::status(os_path(path), ec);
    if (ec || !fs::is_regular_file(st)) {
        problem = "Cannot read the file " + path + ": " +
                  (ec                     ? ec.message()
                   : fs::is_directory(st) ? std::string("it is a folder")
                   : !fs::exists(st)
                       ? std::make_error_code(std::errc::no_such_file_or_directory).message()
                       : std::string("it is not a regular file"));
        return std::nullopt;
    }
    const std::uint64_t size = fs::file_size(os_path(path), ec);
    if (ec) {
        problem = "Cannot read the file " + path + ": " + ec.message();
        return std::nullopt;
    }
    if (size > read_limit(type)) {
        problem = too_big_text(type, size);
        return std::nullopt;
    }
    if (size == 0 && uploadable(type)) {
        problem = empty_text(path);
        return std::nullopt;
    }
    errno = 0;
    std::FILE* f = open_file(path, "rb");
    if (!f) {
        problem = "Cannot read the file " + path + ": " +
                  std::generic_category().message(errno ? errno : EIO);
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        problem = "Cannot read the file " + path + ": " +
                  std::generic_category().message(err ? err : EIO);
        return std::nullopt;
    }
    // A file that shrank meanwhile is taken as it is now.
    bytes.resize(got);
    if (bytes.empty() && uploadable(type)) {
        problem = empty_text(path);
        return std::nullopt;
    }
    return bytes;
}

} // namespace

UploadBytes upload_bytes(const std::string& path) {
    const std::string type = file_type(path);
    UploadBytes out;
    auto bytes = read_upload_bytes(path, type, out.problem);
    if (!bytes) return out;
    std::string data = type == "JPG" ? wrap_jpg(*bytes) : std::move(*bytes);
    if (type == "DSP" || type == "JPG") {
        if (auto refusal = payload_refusal(path, data.size())) {
            out.problem = *refusal;
            return out;
        }
    }
    out.data = std::move(data);
    return out;
}

} // namespace velk2
