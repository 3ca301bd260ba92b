#include "MediaType.h"

#include <cstring>
#include <new>

#include "TaskMemory.h"

namespace vornak {

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat != 0 || mt.pbFormat != nullptr) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = nullptr;
    }
    if (mt.pUnk != nullptr) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        target->pbFormat = static_cast<std::uint8_t*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk != nullptr) {
        target->pUnk->AddRef();
    }
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
    void* memory = CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
    if (memory == nullptr) {
        return nullptr;
    }
    auto* mt = new (memory) AM_MEDIA_TYPE;
    if (Failed(CopyMediaType(mt, source))) {
        CoTaskMemFree(memory);
        return nullptr;
    }
    return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
    if (mt == nullptr) {
        return;
    }
    FreeMediaType(*mt);
    mt->~AM_MEDIA_TYPE();
    CoTaskMemFree(mt);
}

bool ReadVideoInfo(const AM_MEDIA_TYPE& mt, VIDEOINFOHEADER& info) {
    if (mt.pbFormat == nullptr || mt.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    // The block comes from anywhere: copy rather than trust its alignment.
    std::memcpy(&info, mt.pbFormat, sizeof info);
    return true;
}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE() {
    Set(other);
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE() {
    Set(other);
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    if (this != &other) {
        Set(other);
    }
    return *this;
}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other) {
    if (&other == this) {
        return S_OK;
    }
    FreeMediaType(*this);
    return CopyMediaType(this, &other);
}

bool CMediaType::SetFormat(const std::uint8_t* bytes, ULONG length) {
    ResetFormatBuffer();
    if (length == 0) {
        return true;
    }
    pbFormat = static_cast<std::uint8_t*>(CoTaskMemAlloc(length));
    if (pbFormat == nullptr) {
        return false;
    }
    std::memcpy(pbFormat, bytes, length);
    cbFormat = length;
    return true;
}

void CMediaType::ResetFormatBuffer() {
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

}  // namespace vornak
