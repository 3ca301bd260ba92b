// Object creation: the per-thread initialisation count, the built-in classes, and classes
// registered, replaced and removed later, also while other threads create objects.
#include "Com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CUnknown.h"
#include "ComPtr.h"
#include "DeviceEnum.h"
#include "GraphInterfaces.h"
#include "Guids.h"

namespace vornak {
namespace {

constexpr CLSID kTestClass{0x1D7E0004, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x04}};
constexpr int kConcurrentRounds = 200;

// An object that counts how many of its kind are alive.
class Counted final : public CUnknown, public IUnknown {
  public:
    Counted() : CUnknown("Counted") { Live().fetch_add(1); }
    ~Counted() override { Live().fetch_sub(1); }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return NonDelegatingQueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return NonDelegatingAddRef(); }
    ULONG Release() override { return NonDelegatingRelease(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (ppv != nullptr && riid == IID_IUnknown) {
            return GetInterface(static_cast<IUnknown*>(this), ppv);
        }
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    static std::atomic<int>& Live() {
        static std::atomic<int> live{0};
        return live;
    }
};

HRESULT MakeCounted(REFIID riid, void** ppv) {
    ComPtr<IUnknown> object(new Counted());
    return object->QueryInterface(riid, ppv);
}

class ComTest : public ::testing::Test {
  protected:
    ComTest() { CoInitialize(nullptr); }
    ~ComTest() override {
        RegisterClassFactory(kTestClass, {});
        CoUninitialize();
    }
};

TEST(CoInitialize, CountsPerThread) {
    const int before = CoInitializeCount();
    EXPECT_EQ(CoInitialize(nullptr), before == 0 ? S_OK : S_FALSE);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    std::thread([] {
        EXPECT_EQ(CoInitializeCount(), 0);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
        CoUninitialize();  // one too many: ignored
        EXPECT_EQ(CoInitializeCount(), 0);
    }).join();
    EXPECT_EQ(CoInitializeCount(), before + 2);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeCount(), before);
}

TEST_F(ComTest, MakesTheBuiltInClassesWithTheirInterfaces) {
    ComPtr<IMediaEventEx> events;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaEventEx,
                               events.ReceiveVoid()),
              S_OK);
    EXPECT_TRUE(events);
    ComPtr<ICaptureGraphBuilder2> builder;
    EXPECT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, builder.ReceiveVoid()),
              S_OK);
    ComPtr<ICreateDevEnum> devEnum;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICreateDevEnum, devEnum.ReceiveVoid()),
              S_OK);
    ComPtr<IUnknown> wrong;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGraphBuilder, wrong.ReceiveVoid()),
              E_NOINTERFACE);
    EXPECT_FALSE(wrong);
}

TEST_F(ComTest, RefusesUnknownClassesAndAggregation) {
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.ReceiveVoid()),
              REGDB_E_CLASSNOTREG);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               outer.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.ReceiveVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(object);
}

TEST_F(ComTest, RegistersReplacesAndRemovesClasses) {
    const int before = Counted::Live().load();
    RegisterClassFactory(kTestClass, MakeCounted);
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(Counted::Live().load(), before + 1);
    // A face the class lacks: the new object goes again at once.
    ComPtr<IGraphBuilder> wrong;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               wrong.ReceiveVoid()),
              E_NOINTERFACE);
    EXPECT_EQ(Counted::Live().load(), before + 1);

    RegisterClassFactory(kTestClass, [](REFIID, void** ppv) {
        *ppv = nullptr;
        return E_OUTOFMEMORY;
    });
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.ReceiveVoid()),
              E_OUTOFMEMORY);
    RegisterClassFactory(kTestClass, {});
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.ReceiveVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Counted::Live().load(), before);
}

TEST_F(ComTest, CreatesWhileAnotherThreadRegisters) {
    std::atomic<bool> stop{false};
    std::thread registrar([&] {
        while (!stop.load()) {
            RegisterClassFactory(kTestClass, MakeCounted);
            RegisterClassFactory(kTestClass, {});
        }
    });
    for (int i = 0; i < kConcurrentRounds; ++i) {
        ComPtr<IUnknown> object;
        const HRESULT hr = CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            object.ReceiveVoid());
        ASSERT_TRUE(hr == S_OK || hr == REGDB_E_CLASSNOTREG) << hr;
        ASSERT_EQ(static_cast<bool>(object), hr == S_OK);
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.ReceiveVoid()),
                  S_OK);
    }
    stop.store(true);
    registrar.join();
}

}  // namespace
}  // namespace vornak
