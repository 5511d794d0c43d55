// The driver shim under threads: the real driver lets one thread close a
// descriptor while another thread's ioctl on it is still running, so the shim
// must keep the server's state mapped until that ioctl is done.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tavsim_device.h"

namespace {

using tavsimtest::kRequestController0;
using tavsimtest::RequestBlock;
using tavtest::SimServer;

// READ BUFFER of the common status (buffer 0x01, 64 bytes) at target 0.
void buildStatusRead(RequestBlock *block)
{
    std::memset(block, 0, 64);
    block->lengthIn = tavsimtest::kFixedFlag;
    block->lengthOut = 64;
    const uint8_t cdb[10] = {0x3C, 0x01, 0x01, 0, 0, 0, 0, 0, 64, 0};
    std::memcpy(block->area, cdb, sizeof cdb);
}

TEST(DriverShim, ACloseFromAnotherThreadWaitsForTheRunningIoctl)
{
    SimServer server;
    ASSERT_TRUE(server.ok());
    server.activate();
    const std::string node = server.root() + "/dev/tavdrv";
    std::atomic<int> shared{open(node.c_str(), O_RDWR)};
    ASSERT_GE(shared.load(), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};

    std::thread user([&] {
        std::unique_ptr<RequestBlock> block(new RequestBlock);
        while (!stop.load()) {
            buildStatusRead(block.get());
            if (ioctl(shared.load(), kRequestController0, block.get()) == 0)
                answered.fetch_add(1);
        }
    });
    // Replace the descriptor again and again while the other thread sends
    // on whichever one it last read.
    for (int i = 0; i < 4000; ++i) {
        int fresh = open(node.c_str(), O_RDWR);
        if (fresh < 0) {
            ADD_FAILURE() << "open " << node;
            break;
        }
        close(shared.exchange(fresh));
    }
    stop.store(true);
    user.join();

    tavsimtest::Device device(server);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(device.readBuffer(0x01, 64).ret, 0);
    EXPECT_GT(answered.load(), 0);
    close(shared.load());
}

}  // namespace
