// BSTRs, VARIANTs, GUID text and result texts.

#include "ComPtr.h"

#include <gtest/gtest.h>

TEST(ComValues, BstrKeepsLengthEmbeddedNulsAndUtf8) {
    BSTR empty = SysAllocString("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], '\0');
    SysFreeString(empty);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr); // harmless

    BSTR withNul = SysAllocStringLen("a\0b", 3);
    EXPECT_EQ(SysStringLen(withNul), 3u);
    EXPECT_EQ(std::string(withNul, 3), std::string("a\0b", 3));
    EXPECT_EQ(withNul[3], '\0');
    SysFreeString(withNul);

    // Length counts bytes of UTF-8.
    BSTR text = SysAllocString("Grüße");
    EXPECT_EQ(SysStringLen(text), 7u);
    EXPECT_EQ(SysReAllocString(&text, "x"), 1);
    EXPECT_STREQ(text, "x");
    EXPECT_EQ(SysStringLen(text), 1u);
    SysFreeString(text);

    BSTR zeroed = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(std::string(zeroed, 4), std::string(4, '\0'));
    SysFreeString(zeroed);

    CComBSTR owned("copy me");
    CComBSTR copy = owned;
    EXPECT_NE(static_cast<BSTR>(owned), static_cast<BSTR>(copy));
    EXPECT_EQ(copy.ToString(), "copy me");
}

TEST(ComValues, VariantCopyAndClearOwnStringsAndReferences) {
    CComVariant text("hello");
    CComVariant copy = text;
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text.bstrVal); // a deep copy
    EXPECT_STREQ(copy.bstrVal, "hello");

    // Copying into a variant that holds a string frees the old one (ASan would tell).
    CComVariant target("old");
    ASSERT_EQ(VariantCopy(&target, &text), S_OK);
    EXPECT_STREQ(target.bstrVal, "hello");
    ASSERT_EQ(VariantClear(&target), S_OK);
    EXPECT_EQ(target.vt, VT_EMPTY);

    CComVariant boolean(true);
    EXPECT_EQ(boolean.boolVal, VARIANT_TRUE);
    EXPECT_EQ(boolean.boolVal, -1);

    // By-reference values are read through.
    LONG number = 17;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    CComVariant plain;
    ASSERT_EQ(VariantCopyInd(&plain, &byRef), S_OK);
    EXPECT_EQ(plain.vt, VT_I4);
    EXPECT_EQ(plain.lVal, 17);
}

TEST(ComValues, ChangeTypeConvertsOnlyWhatIsMeant) {
    auto convert = [](const CComVariant& source, VARTYPE type, CComVariant& out) {
        return VariantChangeType(&out, &source, 0, type);
    };
    CComVariant out;
    ASSERT_EQ(convert(CComVariant("42"), VT_I4, out), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);
    ASSERT_EQ(convert(CComVariant(" -7 "), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -7);
    EXPECT_EQ(convert(CComVariant("4x"), VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(CComVariant(""), VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(CComVariant("99999999999"), VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(convert(CComVariant(LONG{70000}), VT_I2, out), DISP_E_OVERFLOW);

    ASSERT_EQ(convert(CComVariant("TRUE"), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(convert(CComVariant(LONG{5}), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(convert(CComVariant(LONG{0}), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(convert(CComVariant(true), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -1);

    ASSERT_EQ(convert(CComVariant(false), VT_BSTR, out), S_OK);
    EXPECT_STREQ(out.bstrVal, "False");
    ASSERT_EQ(convert(CComVariant(LONG{-12}), VT_BSTR, out), S_OK);
    EXPECT_STREQ(out.bstrVal, "-12");
    ASSERT_EQ(convert(CComVariant(), VT_BSTR, out), S_OK);
    EXPECT_EQ(SysStringLen(out.bstrVal), 0u);

    EXPECT_EQ(convert(CComVariant("x"), VT_DISPATCH, out), DISP_E_TYPEMISMATCH);

    // In place: the source is replaced by the result.
    CComVariant inPlace("123");
    ASSERT_EQ(inPlace.ChangeType(VT_I4), S_OK);
    EXPECT_EQ(inPlace.vt, VT_I4);
    EXPECT_EQ(inPlace.lVal, 123);
    // A failed conversion leaves the destination as it was.
    CComVariant kept(LONG{9});
    EXPECT_EQ(convert(CComVariant("nine"), VT_I4, kept), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(kept.lVal, 9);
}

TEST(ComValues, GuidTextRoundTripsAndRejectsMalformedText) {
    const GUID guid = {
        0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(GuidToString(guid), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    GUID parsed{};
    ASSERT_TRUE(GuidFromString("{01234567-89ab-cdef-0123-456789abcdef}", parsed));
    EXPECT_TRUE(IsEqualGUID(parsed, guid));

    char buffer[39];
    EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
    EXPECT_STREQ(buffer, "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(StringFromGUID2(guid, buffer, 38), 0);

    CLSID clsid;
    EXPECT_EQ(CLSIDFromString("01234567-89AB-CDEF-0123-456789ABCDEF", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{01234567-89AB-CDEF-0123-456789ABCDEG}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{01234567-89AB-CDEF-0123-456789ABCDEF}x", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{01234567+89AB-CDEF-0123-456789ABCDEF}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{01234567-89AB-CDEF-0123-456789ABCDEF}", &clsid), S_OK);
    EXPECT_EQ(clsid, guid);
}

TEST(ComValues, ResultCodesHaveTheirTexts) {
    EXPECT_TRUE(FAILED(E_INVALIDARG));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_EQ(ComFormatResult(E_INVALIDARG), "0x80070057");
    EXPECT_EQ(ComFormatResult(REGDB_E_CLASSNOTREG), "0x80040154");
    EXPECT_EQ(ComGetErrorText(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(ComGetErrorText(CLASS_E_NOAGGREGATION),
              "Class does not support aggregation (or class object is remote)");
    EXPECT_EQ(ComGetErrorText(static_cast<HRESULT>(0x80041234u)), "Unknown error 0x80041234");
    EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
}
