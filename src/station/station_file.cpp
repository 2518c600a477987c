#include "station/station_file.h"

#include "session/files.h"
#include "shell/upload_bytes.h"
#include "station/sha256.h"

namespace velk2 {

StationFile prepare_station_file(const std::string& path, bool chosen_in_dialog) {
    StationFile out;
    out.file.path = path;
    const std::string type = file_type(path);
    if (type != "DSP" && type != "JPG") {
        out.file.refused = "The station flashes DSP and JPG files only: " + path;
        return out;
    }
    if (chosen_in_dialog && type == "JPG") {
        if (std::string why = jpg_refusal(path); !why.empty()) {
            out.file.refused = std::move(why);
            return out;
        }
    }
    UploadBytes prepared = upload_bytes(path);
    if (!prepared.data) {
        out.file.refused = prepared.problem;
        return out;
    }
    out.bytes = std::move(*prepared.data);
    out.file.size = std::int64_t(out.bytes.size());
    out.file.sha256 = sha256_hex(out.bytes);
    return out;
}

} // namespace velk2
