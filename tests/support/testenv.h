// The process's environment and child processes for tests, on Linux and Windows alike:
// setting and removing a variable (seen by std::getenv and, on Windows, by the process
// environment a DLL reads), and running a program to its end with its output in files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Runs `program` with `args` (each passed as one argument, no shell between), its standard
// output and error written to the files `out` and `err`, and waits for it. Returns its exit
// code, or -1 when it could not start or did not exit normally.
int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& out, const std::filesystem::path& err);

}  // namespace testsupport
