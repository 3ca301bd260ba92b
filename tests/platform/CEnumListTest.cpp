// The enumerator template, through each kind the media layer makes of it: Next in batches and
// past the end, Skip past the end, Reset, Clone, refused arguments, and a hand-out that fails
// half-way through a batch.
#include "CEnumList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "CDeviceMoniker.h"
#include "CEnumMediaTypeList.h"
#include "CEnumMonikerList.h"
#include "CEnumPinList.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"

namespace vornak {
namespace {

template <class Items>
int IndexIn(const Items& items, const void* item) {
    const auto found = std::find_if(items.begin(), items.end(),
                                    [&](const auto& held) { return held.Get() == item; });
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// Each kind makes an enumerator over `count` items (which starts at no reference, so the
// ComPtr holds the only one) and tells which one an item handed out is.
struct PinKind {
    using Enum = IEnumPins;
    using Item = IPin*;
    static constexpr const char* kName = "Pins";
    static const IID& Iid() { return IID_IEnumPins; }

    ComPtr<Enum> Make(int count) {
        std::vector<ComPtr<IPin>> pins;
        for (int i = 0; i < count; ++i) {
            filters.emplace_back(new test::SinkFilter());
            pins.emplace_back(static_cast<IPin*>(filters.back()->Pin()));
        }
        held = pins;
        return ComPtr<Enum>(new CEnumPinList(std::move(pins), 0));
    }
    int IndexOf(Item item) const { return IndexIn(held, item); }
    static void Free(Item item) { item->Release(); }

    std::vector<ComPtr<test::SinkFilter>> filters;
    std::vector<ComPtr<IPin>> held;
};

struct MonikerKind {
    using Enum = IEnumMoniker;
    using Item = IMoniker*;
    static constexpr const char* kName = "Monikers";
    static const IID& Iid() { return IID_IEnumMoniker; }

    ComPtr<Enum> Make(int count) {
        held.clear();
        for (int i = 0; i < count; ++i) {
            held.emplace_back(static_cast<IMoniker*>(new CDeviceMoniker(DeviceDescription{})));
        }
        return ComPtr<Enum>(new CEnumMonikerList(held, 0));
    }
    int IndexOf(Item item) const { return IndexIn(held, item); }
    static void Free(Item item) { item->Release(); }

    std::vector<ComPtr<IMoniker>> held;
};

struct MediaTypeKind {
    using Enum = IEnumMediaTypes;
    using Item = AM_MEDIA_TYPE*;
    static constexpr const char* kName = "MediaTypes";
    static const IID& Iid() { return IID_IEnumMediaTypes; }

    // Item i has a subtype whose first field is i + 1.
    ComPtr<Enum> Make(int count) {
        std::vector<CMediaType> types;
        for (int i = 0; i < count; ++i) {
            types.emplace_back(MEDIATYPE_Stream, GUID{static_cast<std::uint32_t>(i + 1), 0, 0, {}});
        }
        return ComPtr<Enum>(new CEnumMediaTypeList(std::move(types), 0));
    }
    int IndexOf(Item item) const { return static_cast<int>(item->subtype.Data1) - 1; }
    static void Free(Item item) { DeleteMediaType(item); }
};

struct KindNames {
    template <class Kind>
    static std::string GetName(int) {
        return Kind::kName;
    }
};

template <class Kind>
class CEnumListTest : public ::testing::Test {
  protected:
    using Enum = typename Kind::Enum;
    using Item = typename Kind::Item;
    static constexpr int kItems = 3;

    CEnumListTest() : m_enum(m_kind.Make(kItems)) {}

    // The items one Next of `count` hands out (given back at once) and its result.
    std::vector<int> Next(Enum* enumerator, ULONG count, HRESULT& hr) {
        std::vector<Item> items(count + 1, nullptr);
        ULONG fetched = 0;
        hr = enumerator->Next(count, items.data(), &fetched);
        std::vector<int> got;
        for (ULONG i = 0; Succeeded(hr) && i < fetched; ++i) {
            got.push_back(m_kind.IndexOf(items[i]));
            Kind::Free(items[i]);
        }
        return got;
    }
    std::vector<int> Next(ULONG count, HRESULT& hr) { return Next(m_enum.Get(), count, hr); }

    Kind m_kind;
    ComPtr<Enum> m_enum;
};

using Kinds = ::testing::Types<PinKind, MonikerKind, MediaTypeKind>;
TYPED_TEST_SUITE(CEnumListTest, Kinds, KindNames);

enum class Op { Next, Skip, Reset };

struct Step {
    Op op;
    ULONG count;
    HRESULT hr;
    std::vector<int> items;  // what Next hands out
};

struct Script {
    const char* name;
    std::vector<Step> steps;
};

TYPED_TEST(CEnumListTest, WalksThreeItemsAsEachScriptExpects) {
    const std::vector<Script> scripts = {
        {"batches then a short one then none",
         {{Op::Next, 2, S_OK, {0, 1}},
          {Op::Next, 2, S_FALSE, {2}},
          {Op::Next, 1, S_FALSE, {}},
          {Op::Reset, 0, S_OK, {}},
          {Op::Next, 5, S_FALSE, {0, 1, 2}}}},
        {"asking for none", {{Op::Next, 0, S_OK, {}}, {Op::Next, 1, S_OK, {0}}}},
        {"skip to the end exactly",
         {{Op::Skip, 3, S_OK, {}}, {Op::Skip, 0, S_OK, {}}, {Op::Next, 1, S_FALSE, {}}}},
        {"skip past the end stops there",
         {{Op::Skip, 2, S_OK, {}},
          {Op::Skip, 2, S_FALSE, {}},
          {Op::Skip, 0, S_OK, {}},
          {Op::Next, 1, S_FALSE, {}},
          {Op::Reset, 0, S_OK, {}},
          {Op::Next, 1, S_OK, {0}}}},
        {"skip far past the end",
         {{Op::Skip, 0xFFFFFFFFu, S_FALSE, {}}, {Op::Next, 2, S_FALSE, {}}}},
        {"skip between nexts",
         {{Op::Next, 1, S_OK, {0}}, {Op::Skip, 1, S_OK, {}}, {Op::Next, 2, S_FALSE, {2}}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        this->m_enum = this->m_kind.Make(this->kItems);
        for (std::size_t i = 0; i < script.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = script.steps[i];
            HRESULT hr = E_FAIL;
            std::vector<int> got;
            switch (step.op) {
                case Op::Next:
                    got = this->Next(step.count, hr);
                    break;
                case Op::Skip:
                    hr = this->m_enum->Skip(step.count);
                    break;
                case Op::Reset:
                    hr = this->m_enum->Reset();
                    break;
            }
            EXPECT_EQ(hr, step.hr);
            EXPECT_EQ(got, step.items);
        }
    }
}

TYPED_TEST(CEnumListTest, ACloneStartsWhereTheOriginalIsAndMovesOnItsOwn) {
    HRESULT hr = E_FAIL;
    ASSERT_EQ(this->m_enum->Skip(1), S_OK);
    ComPtr<typename TypeParam::Enum> clone;
    ASSERT_EQ(this->m_enum->Clone(clone.Receive()), S_OK);
    ASSERT_TRUE(clone);
    EXPECT_EQ(this->Next(clone.Get(), 3, hr), (std::vector<int>{1, 2}));
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(this->Next(1, hr), std::vector<int>{1});  // the original has not moved

    // A clone of a clone at the end is at the end too, and Reset brings it back alone.
    ComPtr<typename TypeParam::Enum> second;
    ASSERT_EQ(clone->Clone(second.Receive()), S_OK);
    EXPECT_EQ(this->Next(second.Get(), 1, hr), std::vector<int>{});
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(second->Reset(), S_OK);
    EXPECT_EQ(this->Next(second.Get(), 1, hr), std::vector<int>{0});
    EXPECT_EQ(this->Next(clone.Get(), 1, hr), std::vector<int>{});

    // The clone came with the caller's one reference only.
    clone->AddRef();
    EXPECT_EQ(clone->Release(), 1u);
}

TYPED_TEST(CEnumListTest, RefusesMissingPointersWithoutMoving) {
    using Item = typename TypeParam::Item;
    Item items[2] = {};
    EXPECT_EQ(this->m_enum->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(this->m_enum->Next(2, items, nullptr), E_POINTER);
    EXPECT_EQ(items[0], nullptr);
    EXPECT_EQ(this->m_enum->Clone(nullptr), E_POINTER);
    EXPECT_EQ(this->m_enum->QueryInterface(TypeParam::Iid(), nullptr), E_POINTER);

    EXPECT_EQ(this->m_enum->Next(1, items, nullptr), S_OK);  // one needs no count
    EXPECT_EQ(this->m_kind.IndexOf(items[0]), 0);
    TypeParam::Free(items[0]);
}

TYPED_TEST(CEnumListTest, AnswersForItsOwnInterfaceOnly) {
    for (const IID* iid : {&IID_IUnknown, &TypeParam::Iid()}) {
        void* out = nullptr;
        EXPECT_EQ(this->m_enum->QueryInterface(*iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<void*>(this->m_enum.Get()));
        this->m_enum->Release();
    }
    for (const IID* iid : {&IID_IEnumPins, &IID_IEnumMoniker, &IID_IEnumMediaTypes, &IID_IPin}) {
        if (*iid == TypeParam::Iid()) {
            continue;
        }
        void* out = this;
        EXPECT_EQ(this->m_enum->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

// A kind whose hand-out fails for negative items, to see a batch taken back.
class IEnumNumbers : public IUnknown {
  public:
    virtual HRESULT Next(ULONG count, int** items, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumNumbers** ppEnum) = 0;
};

constexpr IID kIidEnumNumbers{0x1D7E0101, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};

struct NumberTraits {
    static constexpr const char* kName = "NumberList";
    static const IID& Iid() { return kIidEnumNumbers; }
    using Source = std::vector<int>;
    static std::size_t Count(const Source& numbers) { return numbers.size(); }
    static int At(const Source& numbers, std::size_t index) { return numbers[index]; }
    static HRESULT HandOut(int number, int** out) {
        if (number < 0) {
            return E_OUTOFMEMORY;
        }
        *out = new int(number);
        ++live;
        return S_OK;
    }
    static void TakeBack(int* number) {
        delete number;
        --live;
    }
    static inline int live = 0;
};

using CEnumNumbers = CEnumList<IEnumNumbers, int*, NumberTraits>;

TEST(CEnumList, AFailedHandOutTakesBackTheBatchAndKeepsThePosition) {
    const ComPtr<IEnumNumbers> numbers(new CEnumNumbers({10, 11, -1, 13}, 0));
    int* items[4] = {};
    ULONG fetched = 99;
    EXPECT_EQ(numbers->Next(4, items, &fetched), E_OUTOFMEMORY);
    EXPECT_EQ(NumberTraits::live, 0);
    EXPECT_EQ(std::count(std::begin(items), std::end(items), nullptr), 4);
    EXPECT_EQ(fetched, 99u);

    ASSERT_EQ(numbers->Next(2, items, &fetched), S_OK);  // still at the start
    EXPECT_EQ(*items[0], 10);
    EXPECT_EQ(*items[1], 11);
    NumberTraits::TakeBack(items[0]);
    NumberTraits::TakeBack(items[1]);
    EXPECT_EQ(numbers->Skip(1), S_OK);
    ASSERT_EQ(numbers->Next(1, items, nullptr), S_OK);
    EXPECT_EQ(*items[0], 13);
    NumberTraits::TakeBack(items[0]);
}

}  // namespace
}  // namespace vornak
