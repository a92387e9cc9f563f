// Where Eemint's commands report: lines appended to the log, one modal error or status
// message, and a repaint before slow work. The main window implements it; tests record it.
#pragma once

#include <string>

namespace eemint {

class Reporter {
public:
    virtual ~Reporter() = default;
    // Texts are single-byte (Latin-1), as the EEPROM holds them.
    virtual void Log(const std::string& line) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void Repaint() {}
};

}  // namespace eemint
