// The port component over the Win32 backend under Wine: COM1 and COM2 are the two ends of a
// pseudo-terminal pair (scripts/lib/wine-tests), whose modem lines the preloaded shim wires as
// a null modem; the test stage can cut the pair (its relay ends, as when an adapter is pulled
// out) and restore it.
#include "comm.h"
#include "eventwait.h"
#include "winecontrol.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using testsupport::Eventually;

namespace {

class WinePair : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("SERIALTOOLS_WINE_COM1"))
            GTEST_SKIP() << "COM1 and COM2 are not mapped to a pseudo-terminal pair";
        a.SetDeviceName("COM1");
        b.SetDeviceName("COM2");
        for (TComm* port : {&a, &b}) {
            port->SetBaudRate(cbr115200);
            port->SetStopbits(sb10);
            port->SetCharsTimeOut(0);
        }
        a.OnRxChar = [this](QObject*, int) { Drain(a, atA); };
        b.OnRxChar = [this](QObject*, int) { Drain(b, atB); };
        a.OnCTS = [this](QObject*) { lines.push_back("CTS " + std::to_string(a.ModemLineState(mlCTS))); };
        a.OnDSR = [this](QObject*) { lines.push_back("DSR " + std::to_string(a.ModemLineState(mlDSR))); };
        a.OnError = [this](QObject*, int) { ++errors; };
        a.OnDeviceLost = [this](QObject*) { ++lost; };
        a.Open();
        b.Open();
        a.PurgeInput();
        b.PurgeInput();
    }
    void TearDown() override
    {
        a.Close();
        b.Close();
    }
    static void Drain(TComm& port, std::string& into)
    {
        char buffer[4096];
        for (int n; (n = port.Read(buffer, sizeof buffer)) > 0;)
            into.append(buffer, static_cast<size_t>(n));
    }
    // Writes in pieces, letting the far side read between them (both ports are read on this
    // thread, and a pseudo-terminal holds only a few kilobytes).
    static void WriteAll(TComm& port, const std::string& bytes, const std::string& arrived)
    {
        size_t done = 0;
        const size_t before = arrived.size();
        while (done < bytes.size()) {
            const int n = port.Write(bytes.data() + done, static_cast<int>(std::min<size_t>(bytes.size() - done, 1024)));
            ASSERT_GT(n, 0);
            done += static_cast<size_t>(n);
            ASSERT_TRUE(Eventually([&] { return arrived.size() >= before + done; }))
                << arrived.size() - before << " of " << done << " bytes arrived";
        }
    }
    // Sends a byte from b to a and waits until a has read it: a's wait thread has begun a new
    // wait after everything done before.
    void Settle()
    {
        const size_t before = atA.size();
        b.Write("s", 1);
        ASSERT_TRUE(Eventually([&] { return atA.size() > before; }));
    }

    std::string atA, atB;
    std::vector<std::string> lines;
    int errors = 0, lost = 0;
    TComm a, b;
};

TEST_F(WinePair, DataPassesBothWaysThroughTheEvents)
{
    std::string there(50000, '\0'), back(30000, '\0');
    for (size_t i = 0; i < there.size(); ++i)
        there[i] = static_cast<char>(i * 7 + 1);
    for (size_t i = 0; i < back.size(); ++i)
        back[i] = static_cast<char>(i * 13);
    WriteAll(a, there, atB);
    WriteAll(b, back, atA);
    ASSERT_TRUE(Eventually([&] { return atB.size() >= there.size() && atA.size() >= back.size(); }))
        << atB.size() << " and " << atA.size() << " bytes arrived";
    EXPECT_EQ(atB, there);
    EXPECT_EQ(atA, back);
    EXPECT_EQ(errors, 0);
}

// Without the shim the pair has no modem lines, and Wine refuses every wait that asks for
// their events: the ports still pass data both ways, and the lines read as low. The test
// stage runs this one apart, without the shim.
TEST_F(WinePair, WithoutModemLinesDataStillArrives)
{
    if (!std::getenv("SERIALTOOLS_NO_MODEM_LINES"))
        GTEST_SKIP() << "runs on its own without the modem-line shim";
    WriteAll(a, "there", atB);
    WriteAll(b, "and back", atA);
    EXPECT_EQ(atB, "there");
    EXPECT_EQ(atA, "and back");
    EXPECT_FALSE(a.ModemLineState(mlCTS));
    EXPECT_EQ(errors, 0);
}

TEST_F(WinePair, ModemLineChangesArriveAsEvents)
{
    if (!std::getenv("MODEMSHIM_PAIRS"))
        GTEST_SKIP() << "the modem-line shim does not wire the pair";
    b.SetRTS(true);
    b.SetDTR(true);
    ASSERT_TRUE(Eventually([&] { return a.ModemLineState(mlCTS) && a.ModemLineState(mlDSR); }));
    Settle();
    lines.clear();
    b.SetRTS(false);
    ASSERT_TRUE(Eventually([&] { return !lines.empty(); }));
    EXPECT_EQ(lines[0], "CTS 0");
    // At once, while a's wait thread may still be between two waits: a driver that compares
    // the lines only with their state when a wait begins must not lose this change.
    b.SetDTR(false);
    ASSERT_TRUE(Eventually([&] {
        return std::find(lines.begin(), lines.end(), "DSR 0") != lines.end();
    })) << ::testing::PrintToString(lines);
    EXPECT_FALSE(a.ModemLineState(mlDSR));
}

TEST_F(WinePair, AFarEndThatVanishesIsReportedOnceAsALostDevice)
{
    testsupport::WineControl control;
    if (!control.Available())
        GTEST_SKIP() << "the test stage offers no control of the pair";
    ASSERT_TRUE(control.Cut("pair"));
    ASSERT_TRUE(Eventually([&] { return lost == 1; })) << errors << " errors";
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(a.IsOpen());  // open until closed, as on Linux
    a.Close();
    b.Close();
    ASSERT_TRUE(control.Restore("pair"));
    a.Open();
    b.Open();
    WriteAll(b, "again", atA);
    ASSERT_TRUE(Eventually([&] { return atA == "again"; })) << atA;
    EXPECT_EQ(lost, 1);
}

}  // namespace
