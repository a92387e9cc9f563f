// A TComm whose port factory makes a FakeTerminalPort instead of opening a device.
#pragma once

#include "comm.h"
#include "eventwait.h"
#include "faketerminalport.h"

#include <functional>

namespace testsupport {

class FakeComm : public TComm {
public:
    explicit FakeComm(QObject* owner = nullptr) : TComm(owner)
    {
        SetPortFactory([this](const QString&) {
            ++opens;
            auto port = std::make_unique<FakeTerminalPort>();
            if (prepare)
                prepare(*port);
            // A fake the port refuses (no character device) is gone again after Open.
            fake = port->charDevice ? port.get() : nullptr;
            return port;
        });
    }

    // Called with each new fake before the port uses it.
    std::function<void(FakeTerminalPort&)> prepare;
    FakeTerminalPort* fake = nullptr;
    int opens = 0;
};

}  // namespace testsupport
