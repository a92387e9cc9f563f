// GoogleTest main for tests of threads and ports that hand work to the event loop: a
// QCoreApplication, so queued calls have a thread to run on.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
