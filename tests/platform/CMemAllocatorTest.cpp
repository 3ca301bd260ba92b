// The memory allocator: granted sizes, commit and decommit, lending and taking back samples,
// and a waiting GetBuffer woken by a returned sample or a decommit.
#include "CMemAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <future>

#include "ComPtr.h"

namespace vornak {
namespace {

ALLOCATOR_PROPERTIES Props(LONG buffers, LONG size, LONG align = 1, LONG prefix = 0) {
    ALLOCATOR_PROPERTIES p;
    p.cBuffers = buffers;
    p.cbBuffer = size;
    p.cbAlign = align;
    p.cbPrefix = prefix;
    return p;
}

ComPtr<IMemAllocator> Committed(LONG buffers, LONG size) {
    ComPtr<IMemAllocator> allocator(new CMemAllocator());
    ALLOCATOR_PROPERTIES request = Props(buffers, size);
    ALLOCATOR_PROPERTIES actual;
    EXPECT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(allocator->Commit(), S_OK);
    return allocator;
}

TEST(CMemAllocator, RoundsBuffersToTheAlignmentAndAlignsThem) {
    ComPtr<IMemAllocator> allocator(new CMemAllocator());
    ALLOCATOR_PROPERTIES request = Props(2, 100, 64, 8);
    ALLOCATOR_PROPERTIES actual;
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ((actual.cbBuffer + actual.cbPrefix) % 64, 0);
    EXPECT_GE(actual.cbBuffer, 100);
    ALLOCATOR_PROPERTIES badAlign = Props(2, 100, 3);
    EXPECT_EQ(allocator->SetProperties(&badAlign, &actual), VFW_E_BADALIGN);

    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    std::uint8_t* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 64, 0u);
    EXPECT_EQ(sample->GetSize(), actual.cbBuffer);
    EXPECT_EQ(sample->SetActualDataLength(actual.cbBuffer + 1), VFW_E_BUFFER_OVERFLOW);
    sample->Release();
}

TEST(CMemAllocator, LendsOnlyWhileCommittedAndOnlyWhatItHas) {
    ComPtr<IMemAllocator> allocator(new CMemAllocator());
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);

    allocator = Committed(1, 64);
    IMediaSample* first = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    ALLOCATOR_PROPERTIES request = Props(1, 64);
    ASSERT_EQ(allocator->Decommit(), S_OK);
    EXPECT_EQ(allocator->SetProperties(&request, &request), VFW_E_BUFFERS_OUTSTANDING);
    first->Release();
    EXPECT_EQ(allocator->SetProperties(&request, &request), S_OK);
}

TEST(CMemAllocator, AWaitingRequestGetsTheNextReturnedSample) {
    auto allocator = Committed(1, 64);
    IMediaSample* first = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    auto waiter = std::async(std::launch::async, [&] {
        IMediaSample* next = nullptr;
        const HRESULT hr = allocator->GetBuffer(&next, nullptr, nullptr, 0);
        if (next != nullptr) {
            next->Release();
        }
        return hr;
    });
    first->Release();
    EXPECT_EQ(waiter.get(), S_OK);
}

TEST(CMemAllocator, DecommitWakesAWaitingRequest) {
    auto allocator = Committed(1, 64);
    IMediaSample* first = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    auto waiter = std::async(std::launch::async, [&] {
        IMediaSample* next = nullptr;
        return allocator->GetBuffer(&next, nullptr, nullptr, 0);
    });
    allocator->Decommit();
    EXPECT_EQ(waiter.get(), VFW_E_NOT_COMMITTED);
    first->Release();
}

TEST(CMemAllocator, ASampleOutKeepsItsAllocatorAlive) {
    auto allocator = Committed(1, 64);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    allocator.Reset();  // the sample's reference remains
    std::uint8_t* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[63] = 1;  // still its memory (the sanitizers would say otherwise)
    REFERENCE_TIME start = 5;
    REFERENCE_TIME end = 6;
    EXPECT_EQ(sample->SetTime(&start, &end), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &end), S_OK);
    EXPECT_EQ(end, 6);
    sample->Release();
}

}  // namespace
}  // namespace vornak
