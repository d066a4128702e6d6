// A scratch root folder and settings file for one benchmark run, gone at its end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct Scratch {
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx6000-bench-XXXXXX").string();
        folder = mkdtemp(pattern.data());
        setenv("KX6000_ROOT", (folder / "root").c_str(), 1);
        setenv("KX6000_SETTINGS", (folder / "settings.ini").c_str(), 1);
    }
    ~Scratch() { std::filesystem::remove_all(folder); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::filesystem::path folder;
};
