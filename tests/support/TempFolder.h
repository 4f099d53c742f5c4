#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// A fresh folder of its own under the system's temporary folder, removed with everything in it
// when the object goes.
class TTempFolder {
public:
    TTempFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "folianta_XXXXXX").string();
        if (!mkdtemp(name.data())) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path = name;
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }

    const std::filesystem::path& Path() const { return path; }
    // Writes bytes as the file name in the folder; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path file = path / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    // The bytes of the file name in the folder.
    std::string Read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::filesystem::path path;
};
