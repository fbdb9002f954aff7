#pragma once
// The interface of the tests' own server library (libComTestServer).

#include "ComTypes.h"

// "ComTest.Counter.1" / "ComTest.Counter", threading model "Both".
inline constexpr CLSID CLSID_ComTestCounter = {
    0x3F1C2A10, 0x7B2D, 0x4E11, {0x9A, 0x01, 0x5C, 0x11, 0x22, 0x33, 0x44, 0x01}};
// A second class of the same library, registered without a version-independent ProgID.
inline constexpr CLSID CLSID_ComTestOther = {
    0x3F1C2A10, 0x7B2D, 0x4E11, {0x9A, 0x01, 0x5C, 0x11, 0x22, 0x33, 0x44, 0x02}};
inline constexpr IID IID_ICounter = {
    0x3F1C2A10, 0x7B2D, 0x4E11, {0x9A, 0x01, 0x5C, 0x11, 0x22, 0x33, 0x44, 0x10}};
inline constexpr GUID LIBID_ComTest = {
    0x3F1C2A10, 0x7B2D, 0x4E11, {0x9A, 0x01, 0x5C, 0x11, 0x22, 0x33, 0x44, 0x20}};

struct ICounter : IDispatch {
    static constexpr const IID& iid = IID_ICounter;
    // dispid 1: the number of Add calls so far.
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
    // dispid 2: adds `step` (a number) and returns the new total; a step beyond a million
    // either way fails with E_INVALIDARG and no error object. Scripts may pass a variable
    // by reference after `step` to receive the total.
    virtual HRESULT STDMETHODCALLTYPE Add(LONG step, LONG* total) = 0;
    // dispid 3: "<prefix><separator><total>".
    virtual HRESULT STDMETHODCALLTYPE Describe(BSTR prefix, BSTR separator, BSTR* text) = 0;
    // dispid 4: fails with DISP_E_EXCEPTION and `message` as the description.
    virtual HRESULT STDMETHODCALLTYPE Fail(BSTR message) = 0;
    // dispid 5: whether the total is even, as an automation Boolean.
    virtual HRESULT STDMETHODCALLTYPE get_Even(VARIANT_BOOL* pVal) = 0;
    // dispid -4: an enumerator over 1 .. total.
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** ppEnum) = 0;

protected:
    ~ICounter() = default;
};
