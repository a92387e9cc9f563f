#include "portnames.h"

#include <gtest/gtest.h>

TEST(ResolvePortPath, AddsTheDeviceNamespaceFromCom10)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "COM1"},           {"COM9", "COM9"},         {"COM10", "\\\\.\\COM10"},
        {"com12", "\\\\.\\com12"},  {"\\\\.\\COM12", "\\\\.\\COM12"},
        {"\\\\.\\MVPORT-0", "\\\\.\\MVPORT-0"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(platform::ResolvePortPath(name), path) << name;
}

TEST(ComPortTable, IsOrderedByNumberAndHoldsOnlyComNames)
{
    int last = 0;
    for (const auto& [com, device] : platform::ComPortTable()) {
        const auto number = platform::portnames_detail::ComNumber(com);
        ASSERT_TRUE(number) << com;
        EXPECT_GE(*number, last);
        last = *number;
        EXPECT_FALSE(device.empty());
    }
}
