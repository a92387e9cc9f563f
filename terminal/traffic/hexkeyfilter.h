// The key filter of Duoterm's HEX send lines: what becomes of one
// typed character, given as its Windows-1251 code. Plain C++, no Qt.
#pragma once

#include <cstdint>

namespace traffic {

enum class HexKeyAction {
    Insert,    // the line receives `code` (the typed character or its replacement)
    Suppress,  // the line receives nothing
    Send,      // Enter with the side's HEX send button enabled: run the HEX send action
};

struct HexKeyResult {
    HexKeyAction action;
    uint8_t code;  // the character to insert for Insert; 0 for Suppress and Send
};

// The filter of `otpraveditKeyPress` / `otpravedit2KeyPress` (also bound to `EditPered` and
// `EditPered2`): `sendButtonEnabled` is the state of that side's HEX send button.
//   Enter (13) with the button enabled     -> Send (with it disabled Enter passes as Insert 13)
//   a ф Ф -> 'A', b И и -> 'B', c С с -> 'C', d В в -> 'D', e У у -> 'E', f А а -> 'F', № -> '#'
//   0x00-0x1F, space, '#', '*', '0'-'9', 'A'-'F', 0xBA-0xBF -> Insert unchanged
//   everything else -> Suppress
HexKeyResult otpraveditKeyPress(uint8_t code, bool sendButtonEnabled);

}  // namespace traffic
