#include "app/core/data_folder.h"

#include "hosting/registration.h"

#include <filesystem>

namespace quillan {

std::string dataFolder() {
    const std::filesystem::path folder = std::filesystem::path(qhost::programFolder()) / ".." / "share" / "quillan";
    return folder.lexically_normal().string();
}

}  // namespace quillan
