// Owning wrapper of an OLE Automation VARIANT (VariantClear on destruction),
// and a scoped SafeArrayAccessData.
#pragma once

#include "common/Win32.h"

#include <oaidl.h>
#include <oleauto.h>
#include <utility>

class TOleVariant {
public:
    TOleVariant() noexcept { ::VariantInit(&FValue); }
    ~TOleVariant() { ::VariantClear(&FValue); }
    TOleVariant(const TOleVariant&) = delete;
    TOleVariant& operator=(const TOleVariant&) = delete;
    TOleVariant(TOleVariant&& o) noexcept : FValue(o.FValue) { ::VariantInit(&o.FValue); }
    TOleVariant& operator=(TOleVariant&& o) noexcept {
        if (this != &o) {
            ::VariantClear(&FValue);
            FValue = o.FValue;
            ::VariantInit(&o.FValue);
        }
        return *this;
    }

    const VARIANT& get() const noexcept { return FValue; }
    VARIANT& get() noexcept { return FValue; }
    // Clears the value and hands out the VARIANT for an API that fills it.
    VARIANT* put() noexcept { ::VariantClear(&FValue); return &FValue; }
    // Hands the value to the caller (who must VariantClear it).
    VARIANT Detach() noexcept { VARIANT v = FValue; ::VariantInit(&FValue); return v; }
    VARTYPE Type() const noexcept { return V_VT(&FValue); }

    static TOleVariant Null() noexcept { TOleVariant v; V_VT(&v.FValue) = VT_NULL; return v; }

private:
    VARIANT FValue;
};

// Locks a safe array's data for one scope.
class TSafeArrayData {
public:
    explicit TSafeArrayData(SAFEARRAY* sa) noexcept : FArray(sa) {
        if (FAILED(::SafeArrayAccessData(sa, &FData))) { FArray = nullptr; FData = nullptr; }
    }
    ~TSafeArrayData() { if (FArray) ::SafeArrayUnaccessData(FArray); }
    TSafeArrayData(const TSafeArrayData&) = delete;
    TSafeArrayData& operator=(const TSafeArrayData&) = delete;
    bool valid() const noexcept { return FArray != nullptr; }
    void* data() const noexcept { return FData; }

private:
    SAFEARRAY* FArray;
    void* FData = nullptr;
};
