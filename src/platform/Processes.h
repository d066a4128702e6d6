// Copies of this program working side by side for the command line, each one's output and error stream
// read through pipes.
#pragma once

#include <cstddef>
#include <memory>
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
    Children();
    ~Children();
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;

    // Starts this program with `arguments` (the first is its name), its input from nowhere and `name`=`value`
    // added to its environment; gives its number. Throws std::system_error.
    size_t Start(const std::vector<std::string>& arguments, const std::string& name,
                 const std::string& value);
    // Waits at most `milliseconds` (-1: without limit; a stop request ends the wait) for the children's
    // streams and gives what they had, in the order each stream gave it; false when every stream is closed.
    bool Wait(int milliseconds, std::vector<ChildOutput>& outputs);
    // Passes a stop request on to a child, where the system does not give it to the child itself.
    void Stop(size_t child, int request);
    // Waits for the child to end: its exit status (on POSIX 128 + the number of the signal that ended it).
    int Status(size_t child);

private:
    struct State;  // the children's processes and streams, as the system keeps them
    std::unique_ptr<State> state;
};

}  // namespace kx6000
