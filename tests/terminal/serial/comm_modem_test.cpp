// Modem lines and their events, on two pseudo-terminals wired as a null modem by the test
// shim linked into this executable (RTS to CTS, DTR to DSR and DCD).
#include "comm.h"
#include "eventwait.h"
#include "ptypair.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::Eventually;
using testsupport::PtyPair;

namespace {

class NullModem : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MODEMSHIM_PAIRS", (left.SlavePath() + "=" + right.SlavePath()).c_str(), 1);
        a.SetDeviceName(QString::fromStdString(left.SlavePath()));
        b.SetDeviceName(QString::fromStdString(right.SlavePath()));
        a.OnCTS = [this](QObject*) { log.push_back("CTS " + std::to_string(a.ModemLineState(1))); };
        a.OnDSR = [this](QObject*) { log.push_back("DSR " + std::to_string(a.ModemLineState(2))); };
        a.OnRLSD = [this](QObject*) { log.push_back("RLSD " + std::to_string(a.ModemLineState(4))); };
        a.OnRing = [this](QObject*) { log.push_back("Ring"); };
        a.OnRxChar = [this](QObject*, int) { ++received; };
        a.Open();
        b.Open();
        // The shim keeps a line's state for the process's life and pty numbers are reused.
        for (TComm* port : {&a, &b}) {
            port->SetDTR(true);
            port->SetRTS(true);
        }
        Settle();
        log.clear();
    }
    // Sends a byte to a (from its far end) and runs the loop until a reports it: the wait
    // that finds the byte also samples the lines, so every line change made before has
    // reached a's handlers.
    void Settle()
    {
        const int before = received;
        left.WriteMaster("s", 1);
        ASSERT_TRUE(Eventually([&] { return received > before; }));
    }
    void TearDown() override
    {
        a.Close();
        b.Close();
        unsetenv("MODEMSHIM_PAIRS");
    }

    std::vector<std::string> log;
    int received = 0;
    PtyPair left, right;
    TComm a, b;
};

TEST_F(NullModem, LinesFollowTheFarEndsOutputs)
{
    EXPECT_TRUE(a.ModemLineState(1));  // both ends start with DTR and RTS up
    EXPECT_TRUE(a.ModemLineState(2));
    EXPECT_FALSE(a.ModemLineState(3));
    EXPECT_TRUE(a.ModemLineState(4));
    b.SetRTS(false);
    EXPECT_FALSE(a.ModemLineState(1));
    EXPECT_TRUE(a.ModemLineState(2));
    b.SetDTR(false);
    EXPECT_FALSE(a.ModemLineState(2));
    EXPECT_FALSE(a.ModemLineState(4));
    b.SetRTS(true);
    EXPECT_TRUE(a.ModemLineState(1));
}

TEST_F(NullModem, LineChangesArriveAsEvents)
{
    Settle();
    ASSERT_TRUE(log.empty());  // nothing without a change
    b.SetRTS(false);
    ASSERT_TRUE(Eventually([&] { return log.size() == 1; }));
    EXPECT_EQ(log[0], "CTS 0");
    b.SetDTR(false);
    ASSERT_TRUE(Eventually([&] { return log.size() == 3; })) << ::testing::PrintToString(log);
    EXPECT_EQ(log[1], "DSR 0");
    EXPECT_EQ(log[2], "RLSD 0");
    b.SetRTS(true);
    ASSERT_TRUE(Eventually([&] { return log.size() == 4; }));
    EXPECT_EQ(log[3], "CTS 1");
    Settle();
    EXPECT_EQ(log.size(), 4u);  // nothing further without a change
}

TEST_F(NullModem, ClosingFlowControlSettingsDriveTheLines)
{
    // fcNone puts DTR up through the line settings; SetDTR(false) then lowers it, and a
    // later setting change keeps the line where the user put it.
    b.SetFlowControl(fcNone);
    EXPECT_TRUE(a.ModemLineState(2));
    b.SetDTR(false);
    EXPECT_FALSE(a.ModemLineState(2));
    b.SetBaudRate(cbr19200);
    EXPECT_TRUE(a.ModemLineState(2));  // the fixed DTR level of fcNone is written again
    b.SetFlowControl(fcDefault);
    b.SetDTR(false);
    b.SetBaudRate(cbr38400);
    EXPECT_FALSE(a.ModemLineState(2));  // the driver's own level is kept
}

}  // namespace
