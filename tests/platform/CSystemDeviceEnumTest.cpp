// The system device enumerator over the device sources: creation rules, order, snapshots,
// monikers binding to property bags and filters, and what each failure looks like.
#include "CSystemDeviceEnum.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Com.h"
#include "ComPtr.h"
#include "DeviceCatalog.h"
#include "FilterTestSupport.h"
#include "Guids.h"

namespace vornak {
namespace {

// A device category no source lists anything under.
constexpr CLSID kEmptyCategory{0x1D7E0003, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x03}};

class FakeSource final : public IDeviceSource {
  public:
    std::vector<DeviceDescription> ListDevices(const CLSID& category) override {
        ++asked;
        return category == CLSID_VideoInputDeviceCategory ? devices
                                                          : std::vector<DeviceDescription>{};
    }
    std::vector<DeviceDescription> devices;
    int asked = 0;
};

DeviceDescription NamedDevice(const std::string& name) {
    DeviceDescription device;
    device.properties = std::map<std::string, std::string>{
        {kFriendlyNameProperty, name}, {kVendorTextProperty, "Vendor of " + name}};
    device.bind = [](IBaseFilter** filter) {
        return HandOut<IBaseFilter>(new test::SinkFilter(), filter);
    };
    return device;
}

class CSystemDeviceEnumTest : public ::testing::Test {
  protected:
    CSystemDeviceEnumTest() : m_saved(DeviceSources()) {
        CoInitialize(nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, m_devEnum.ReceiveVoid()),
                  S_OK);
        m_first->devices = {NamedDevice("First A"), NamedDevice("First B")};
        m_second->devices = {NamedDevice("Second A")};
        SetDeviceSources({m_first, m_second});
    }
    ~CSystemDeviceEnumTest() override {
        SetDeviceSources(m_saved);
        m_devEnum.Reset();
        CoUninitialize();
    }

    ComPtr<IEnumMoniker> Enumerate(const CLSID& category = CLSID_VideoInputDeviceCategory) {
        ComPtr<IEnumMoniker> monikers;
        EXPECT_EQ(m_devEnum->CreateClassEnumerator(category, monikers.Receive(), 0), S_OK);
        return monikers;
    }
    static ComPtr<IMoniker> NextMoniker(IEnumMoniker* monikers) {
        ComPtr<IMoniker> moniker;
        ULONG fetched = 0;
        monikers->Next(1, moniker.Receive(), &fetched);
        return moniker;
    }
    static std::string Read(IMoniker* moniker, const char* property) {
        ComPtr<IPropertyBag> bag;
        EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()),
                  S_OK);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(bag->Read(property, &value, nullptr), S_OK);
        EXPECT_EQ(value.vt, VT_BSTR);
        return value.bstrVal;
    }

    std::vector<std::shared_ptr<IDeviceSource>> m_saved;
    std::shared_ptr<FakeSource> m_first = std::make_shared<FakeSource>();
    std::shared_ptr<FakeSource> m_second = std::make_shared<FakeSource>();
    ComPtr<ICreateDevEnum> m_devEnum;
};

TEST_F(CSystemDeviceEnumTest, CannotBeMadeOnAThreadThatDidNotInitialise) {
    HRESULT hr = S_OK;
    void* object = &hr;
    std::thread([&] {
        hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, &object);
    }).join();
    EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
}

TEST_F(CSystemDeviceEnumTest, ListsTheDevicesOfEverySourceInOrder) {
    ComPtr<IEnumMoniker> monikers = Enumerate();
    IMoniker* batch[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(monikers->Next(3, batch, &fetched), S_OK);
    ASSERT_EQ(fetched, 3u);
    std::vector<std::string> names;
    for (IMoniker* moniker : batch) {
        names.push_back(Read(moniker, kFriendlyNameProperty));
        moniker->Release();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"First A", "First B", "Second A"}));
    IMoniker* none = nullptr;
    EXPECT_EQ(monikers->Next(1, &none, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ASSERT_EQ(monikers->Reset(), S_OK);
    ASSERT_EQ(monikers->Skip(2), S_OK);
    ComPtr<IEnumMoniker> clone;
    ASSERT_EQ(monikers->Clone(clone.Receive()), S_OK);
    EXPECT_EQ(Read(NextMoniker(monikers.Get()).Get(), kFriendlyNameProperty), "Second A");
    EXPECT_EQ(Read(NextMoniker(clone.Get()).Get(), kFriendlyNameProperty), "Second A");
    EXPECT_EQ(monikers->Skip(1), S_FALSE);
}

TEST_F(CSystemDeviceEnumTest, AnEnumeratorKeepsTheDevicesOfTheMomentItWasMade) {
    ComPtr<IEnumMoniker> before = Enumerate();
    SetDeviceSources({m_second});
    EXPECT_EQ(Read(NextMoniker(before.Get()).Get(), kFriendlyNameProperty), "First A");
    EXPECT_EQ(Read(NextMoniker(Enumerate().Get()).Get(), kFriendlyNameProperty), "Second A");
    EXPECT_EQ(m_first->asked, 1);
}

TEST_F(CSystemDeviceEnumTest, ACategoryWithoutDevicesGivesNoEnumerator) {
    IEnumMoniker* monikers = reinterpret_cast<IEnumMoniker*>(this);
    EXPECT_EQ(m_devEnum->CreateClassEnumerator(kEmptyCategory, &monikers, 0), S_FALSE);
    EXPECT_EQ(monikers, nullptr);
    SetDeviceSources({});
    EXPECT_EQ(m_devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0),
              S_FALSE);
}

TEST_F(CSystemDeviceEnumTest, ReadsTextsAndRefusesMissingProperties) {
    ComPtr<IMoniker> moniker = NextMoniker(Enumerate().Get());
    EXPECT_EQ(Read(moniker.Get(), kVendorTextProperty), "Vendor of First A");
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()), S_OK);
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(bag->Read(kModelTextProperty, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(bag->Read(kFriendlyNameProperty, nullptr, nullptr), E_POINTER);
    ComPtr<IUnknown> other;
    EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IBaseFilter, other.ReceiveVoid()),
              E_NOINTERFACE);
}

TEST_F(CSystemDeviceEnumTest, ADeviceWithoutAPropertyBagStillBindsToItsFilter) {
    DeviceDescription bare;  // no property bag
    bare.bind = NamedDevice("Bare").bind;
    m_first->devices = {bare};
    ComPtr<IMoniker> moniker = NextMoniker(Enumerate().Get());
    ComPtr<IPropertyBag> bag;
    EXPECT_TRUE(
        Failed(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())));
    EXPECT_FALSE(bag);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    EXPECT_TRUE(filter);
}

TEST_F(CSystemDeviceEnumTest, BindToObjectPassesOnTheDevicesFailure) {
    DeviceDescription gone = NamedDevice("Gone");
    gone.bind = [](IBaseFilter** filter) {
        *filter = nullptr;
        return E_DEVICE_NOT_CONNECTED;
    };
    m_first->devices = {gone, NamedDevice("Here")};
    ComPtr<IEnumMoniker> monikers = Enumerate();
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(NextMoniker(monikers.Get())
                  ->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid()),
              E_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(filter);

    ComPtr<IMoniker> here = NextMoniker(monikers.Get());
    ComPtr<IMemAllocator> wrong;
    EXPECT_EQ(here->BindToObject(nullptr, nullptr, IID_IMemAllocator, wrong.ReceiveVoid()),
              E_NOINTERFACE);
    ASSERT_EQ(here->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    ComPtr<IBaseFilter> again;
    ASSERT_EQ(here->BindToObject(nullptr, nullptr, IID_IBaseFilter, again.ReceiveVoid()), S_OK);
    EXPECT_NE(filter.Get(), again.Get());  // a new filter every time
}

}  // namespace
}  // namespace vornak
