// Copies of this program working side by side for the command line, each one's output and error stream
// read through pipes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kx6000 {

// What one stream of a child gave: its bytes, or nothing when it closed.
struct ChildOutput {
    size_t child;
    bool errors;  // its error stream, else its output
    std::string bytes;
};

class Children {
public:
    Children() = default;
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;

    // Starts this program with `arguments` (the first is its name) in a group of its own, its input from
    // nowhere and `name`=`value` added to its environment; gives its number. Throws std::system_error.
    size_t Start(const std::vector<std::string>& arguments, const std::string& name,
                 const std::string& value);
    // Waits at most `milliseconds` (-1: without limit; a stop request ends the wait) for the children's
    // streams and gives what they had, one read each; false when every stream is closed.
    bool Wait(int milliseconds, std::vector<ChildOutput>& outputs);
    // Passes a stop request on to a child.
    void Stop(size_t child, int request);
    // Waits for the child to end: its exit status, or 128 + the number of the signal that ended it.
    int Status(size_t child);

private:
    struct Child {
        std::intptr_t id = -1;
        int out = -1, err = -1;
    };
    std::vector<Child> children;
};

}  // namespace kx6000
