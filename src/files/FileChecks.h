// The download files of one run checked before anything goes to the radio: each file parsed once, with the
// parser explaining itself. The manager's LoadFiles keeps what its own parse found, so the command line and
// the window refuse a run on the very images it would write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/ValidFile.h"

namespace kx6000 {

// What the parser says about one file.
struct FileCheck {
    std::string name;
    int32_t result = 0;
    FileNotes notes;
    // What its refusals give the run: 34 for data that would not reach the radio whole, 52 for an image
    // writing addresses an earlier image of the run writes, as the manager's own check gives.
    int32_t refused = 0;
};

// The files of a run and every image they hold, keyed as the manager keys them.
struct RunCheck {
    std::vector<FileCheck> files;
    colFiles images;
};

// One file parsed into `images` with `state` carried on, as LoadFiles parses it (`tagSearch` for the
// KX6100). A file LoadFiles does not load (missing, hidden) adds nothing; its parse only says why.
FileCheck CheckFile(const std::string& file, colFiles& images, ParserState& state, bool tagSearch);

// Addresses the flash cannot take, refused on the file of the image they are seen on.
void RefuseRunAddresses(std::vector<FileCheck>& checks, const colFiles& images);

// Each file parsed in order from a fresh parser state, for a run that makes no manager.
RunCheck CheckFiles(const std::vector<std::string>& files, bool tagSearch);

// Why the radio would refuse the first table of the images whose data is not whole 4-digit words, which it
// finds out only after erasing its flash; empty when there is none.
std::string UnevenTable(const colFiles& images);

// The first failing file's number (33 or 34), or 0.
int32_t FirstFailure(const std::vector<FileCheck>& checks);

// The run's number: the first failure's, else the first refused file's (34 or 52), else 0.
int32_t RunResult(const std::vector<FileCheck>& checks);

// "FILE:LINE: error: ..." per failure and refusal (and "warning" per warning, when asked), in line order
// per file, as compilers say it, so that editors can jump to the line.
std::vector<std::string> CheckLines(const std::vector<FileCheck>& checks, bool warnings);

}  // namespace kx6000
