#include "winecontrol.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace testsupport {

WineControl::WineControl()
{
    if (const char* folder = std::getenv("SERIALTOOLS_WINE_CONTROL"))
        folder_ = folder;
}

bool WineControl::Request(const std::string& pair, const std::string& action, const std::string& state)
{
    if (folder_.empty())
        return false;
    const auto stateFile = folder_ / (pair + ".state");
    std::filesystem::remove(stateFile);
    std::ofstream(folder_ / (pair + "." + action)) << action << "\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(stateFile);
        std::string got;
        if (in >> got && got == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace testsupport
