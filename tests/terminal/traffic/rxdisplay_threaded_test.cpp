// The receive store once it has grown to full-size blocks, whose next block is made ready on a
// thread of its own: what it holds reads back whole through clears and drops (also under
// ThreadSanitizer).
#include "rxdisplay.h"

#include <gtest/gtest.h>

#include <string>

using traffic::RxLog;

TEST(RxLogSpareBlocks, FullSizeBlocksReadBackWholeThroughClearsAndDrops) {
    RxLog log;
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 2)
            log.SetBudget(size_t{8} << 20);
        std::string all;
        uint32_t seed = static_cast<uint32_t>(pass) + 1;
        // About 24 MB in ticks of up to 64 KiB: blocks grow to 4 MiB and then come from the spare.
        while (all.size() < (size_t{24} << 20)) {
            std::string tick(1 + (seed = seed * 1103515245 + 12345) % 65536, '\0');
            for (char& c : tick) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
            log.AppendTick(reinterpret_cast<const uint8_t*>(tick.data()), tick.size(), 0);
            all += tick;
        }
        ASSERT_EQ(log.TotalBytes(), all.size());
        std::string kept;
        for (size_t line = 0; line < log.LineCount(); ++line) {
            const auto bytes = log.LineBytes(line);
            kept.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        ASSERT_EQ(kept.size(), all.size() - log.DroppedBytes()) << pass;
        EXPECT_TRUE(kept == all.substr(static_cast<size_t>(log.DroppedBytes()))) << pass;
        if (pass == 2) {
            EXPECT_GT(log.DroppedBytes(), 0u);
            EXPECT_LE(log.HeldBytes(), log.Budget() + (size_t{4} << 20) + (size_t{1} << 20));
        }
        log.Clear();
    }
}
