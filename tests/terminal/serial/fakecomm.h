// A TComm whose OpenHandle installs a FakeCommPort instead of opening a device.
#pragma once

#include "comm.h"
#include "fakecommport.h"

#include <QCoreApplication>
#include <QTest>

#include <functional>

namespace testsupport {

class FakeComm : public TComm {
public:
    using TComm::TComm;

    // Called with each new fake before the port uses it.
    std::function<void(FakeCommPort&)> prepare;
    FakeCommPort* fake = nullptr;
    int opens = 0;

protected:
    void OpenHandle() override
    {
        ++opens;
        auto port = std::make_unique<FakeCommPort>();
        if (prepare)
            prepare(*port);
        fake = port.get();
        const bool charDevice = port->charDevice;
        SetHandle(std::move(port));
        if (!charDevice) {
            ReleaseHandle();
            fake = nullptr;
            RaiseCommError("Invalid device handle, access denied", -1);
        }
    }
};

// Runs the event loop until the condition holds or the time runs out.
inline bool Eventually(const std::function<bool()>& condition, int ms = 3000)
{
    return QTest::qWaitFor(condition, ms);
}

}  // namespace testsupport
