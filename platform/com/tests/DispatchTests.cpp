// Late-bound calls through IDispatch, error objects and enumerators of a loaded server.

#include "ComServer.h"
#include "ComTestSupport.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <vector>

using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;

namespace {

const std::string SERVER = COM_TEST_SERVER;

class ComDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);
        ASSERT_EQ(m_dispatch.CoCreateInstance("ComTest.Counter"), S_OK);
    }
    void TearDown() override {
        m_dispatch.Release();
        CoFreeUnusedLibraries();
    }

    DISPID IdOf(const char* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK)
            << name;
        return id;
    }

    // Calls with the arguments in reading order.
    HRESULT Call(DISPID id, WORD flags, std::vector<CComVariant> args, CComVariant& result,
                 EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        return m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, excep,
                                  argErr);
    }

    CComTestEnvironment m_env;
    CComPtr<IDispatch> m_dispatch;
};

} // namespace

TEST_F(ComDispatch, NamesMapToDispatchIdsWithoutRegardToCase) {
    EXPECT_EQ(IdOf("Count"), 1);
    EXPECT_EQ(IdOf("aDD"), 2);
    EXPECT_EQ(IdOf("_NewEnum"), DISPID_NEWENUM);

    LPOLESTR unknown[] = {const_cast<LPOLESTR>("Subtract")};
    DISPID id = 7;
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    // Parameter names are not known: the member is found, the parameter is not.
    LPOLESTR withParam[] = {const_cast<LPOLESTR>("Add"), const_cast<LPOLESTR>("step")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, withParam, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    UINT count = 9;
    EXPECT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(ComDispatch, InvokeConvertsArgumentsInOrderAndReturnsTypedValues) {
    CComVariant result;
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant("40")}, result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 40);
    // Script engines call with both flags.
    ASSERT_EQ(Call(2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {CComVariant(LONG{2})}, result),
              S_OK);
    EXPECT_EQ(result.lVal, 42);

    ASSERT_EQ(Call(3, DISPATCH_METHOD, {CComVariant("total"), CComVariant(" = ")}, result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, "total = 42");

    ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.lVal, 2);
    ASSERT_EQ(Call(5, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, -1);
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(true)}, result), S_OK); // True is -1
    EXPECT_EQ(result.lVal, 41);
    ASSERT_EQ(Call(5, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.boolVal, 0);

    // A script may pass a variable for the value, by reference, as one more argument.
    LONG total = 0;
    VARIANT byRefLong;
    VariantInit(&byRefLong);
    byRefLong.vt = VT_BYREF | VT_I4;
    byRefLong.plVal = &total;
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{1}), byRefLong}, result), S_OK);
    EXPECT_EQ(total, 42);
    EXPECT_EQ(result.lVal, 42);
    CComVariant variable("old text");
    VARIANT byRefVariant;
    VariantInit(&byRefVariant);
    byRefVariant.vt = VT_BYREF | VT_VARIANT;
    byRefVariant.pvarVal = &variable;
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{1}), byRefVariant}, result), S_OK);
    EXPECT_EQ(variable.vt, VT_I4);
    EXPECT_EQ(variable.lVal, 43);
    BSTR text = nullptr;
    VARIANT byRefText;
    VariantInit(&byRefText);
    byRefText.vt = VT_BYREF | VT_BSTR;
    byRefText.pbstrVal = &text;
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{-3}), byRefText}, result), S_OK);
    EXPECT_STREQ(text, "40");
    SysFreeString(text);
    // Not a reference, or one argument too many: refused, and nothing was counted.
    UINT argErr = 9;
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{1}), CComVariant(LONG{0})}, result,
                   nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{1}), byRefLong, byRefLong}, result),
              DISP_E_BADPARAMCOUNT);
    // A method without an out value takes no such extra argument.
    EXPECT_EQ(Call(4, DISPATCH_METHOD, {CComVariant("x"), byRefLong}, result),
              DISP_E_BADPARAMCOUNT);
    ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.lVal, 6);

    // A caller that wants no result gets none, and nothing leaks.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
        S_OK);
}

TEST_F(ComDispatch, InvokeRefusesWrongCallsWithTheirOwnCodes) {
    CComVariant result;
    UINT argErr = 99;
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {}, result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        Call(3, DISPATCH_METHOD, {CComVariant("a"), CComVariant("b"), CComVariant("c")}, result),
        DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {CComVariant("a"), CComVariant(m_dispatch.Get())}, result,
                   nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u); // the last argument sits first in rgvarg
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {CComVariant("two")}, result, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {CComVariant("99999999999")}, result), DISP_E_OVERFLOW);
    // Read-only properties cannot be set; a method is not a property.
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, {CComVariant(LONG{1})}, result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, {CComVariant(LONG{1})}, result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(77, DISPATCH_METHOD, {}, result), DISP_E_MEMBERNOTFOUND);

    CComVariant arg(LONG{1});
    DISPID named = 0;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(
        m_dispatch->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        DISP_E_NONAMEDARGS);
    EXPECT_EQ(m_dispatch->Invoke(2, IID_IDispatch, 0, DISPATCH_METHOD, &params, &result, nullptr,
                                 nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // Nothing was counted by the refused calls.
    ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.lVal, 0);
}

TEST_F(ComDispatch, PropertyPutTakesItsValueAsTheNamedArgument) {
    CComVariant value("41"); // converted to the put's type
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    CComVariant result;
    ASSERT_EQ(IdOf("total"), 6);
    ASSERT_EQ(m_dispatch->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                                 nullptr),
              S_OK);
    ASSERT_EQ(Call(6, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.lVal, 41);
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{1})}, result), S_OK);
    EXPECT_EQ(result.lVal, 42);

    // A put without its named value, or with another name, is refused and changes nothing.
    EXPECT_EQ(Call(6, DISPATCH_PROPERTYPUT, {CComVariant(LONG{7})}, result), DISP_E_PARAMNOTFOUND);
    named = 0;
    EXPECT_EQ(m_dispatch->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                                 nullptr),
              DISP_E_NONAMEDARGS);
    // A method call does not reach the put.
    EXPECT_EQ(Call(6, DISPATCH_METHOD, {CComVariant(LONG{7})}, result), DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(Call(6, DISPATCH_PROPERTYGET, {}, result), S_OK);
    EXPECT_EQ(result.lVal, 42);
}

TEST_F(ComDispatch, FailingMemberReportsItsDescriptionThroughExcepinfo) {
    CComVariant result;
    EXCEPINFO excep{};
    ASSERT_EQ(Call(4, DISPATCH_METHOD, {CComVariant("Unable to frobnicate.")}, result, &excep),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, DISP_E_EXCEPTION);
    EXPECT_STREQ(excep.bstrDescription, "Unable to frobnicate.");
    EXPECT_STREQ(excep.bstrSource, "ComTest.Counter");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);

    // Called through the vtable, the error object waits for the caller, once.
    CComPtr<ICounter> counter;
    ASSERT_EQ(m_dispatch.QueryInterface(&counter), S_OK);
    EXPECT_EQ(counter->Fail(CComBSTR("direct")), DISP_E_EXCEPTION);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    CComBSTR description;
    ASSERT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_EQ(description.ToString(), "direct");
    info.Release();
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);

    // A failure without an error object still says what it was, and an error object an
    // earlier call left behind is not taken for it.
    EXPECT_EQ(counter->Fail(CComBSTR("stale")), DISP_E_EXCEPTION);
    EXCEPINFO plain{};
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{2000000})}, result, &plain),
              DISP_E_EXCEPTION);
    EXPECT_EQ(plain.scode, E_INVALIDARG);
    EXPECT_STREQ(plain.bstrDescription, "The parameter is incorrect.");
    EXPECT_EQ(plain.bstrSource, nullptr);
    SysFreeString(plain.bstrDescription);
}

TEST_F(ComDispatch, EnumeratorHoldsItsOwnCopiesAndKeepsItsPlace) {
    CComVariant result;
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{3})}, result), S_OK);
    ASSERT_EQ(Call(DISPID_NEWENUM, DISPATCH_PROPERTYGET, {}, result), S_OK);
    ASSERT_EQ(result.vt, VT_UNKNOWN);
    CComPtr<IEnumVARIANT> items;
    ASSERT_EQ(result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)),
              S_OK);

    // Later changes to the object do not reach an enumerator already made.
    ASSERT_EQ(Call(2, DISPATCH_METHOD, {CComVariant(LONG{4})}, result), S_OK);

    VARIANT batch[5];
    ULONG fetched = 0;
    ASSERT_EQ(items->Next(2, batch, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(batch[0].lVal, 1);
    EXPECT_EQ(batch[1].lVal, 2);
    CComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(items->Clone(&clone), S_OK);
    ASSERT_EQ(items->Next(5, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(batch[0].lVal, 3);
    EXPECT_EQ(items->Next(1, batch, nullptr), S_FALSE);
    EXPECT_EQ(items->Next(2, batch, nullptr), E_POINTER); // more than one needs a count

    // The clone kept the place of its original at the time of cloning.
    CComVariant item;
    ASSERT_EQ(clone->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(item.lVal, 3);
    ASSERT_EQ(clone->Reset(), S_OK);
    ASSERT_EQ(clone->Skip(2), S_OK);
    ASSERT_EQ(clone->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(item.lVal, 3);
    EXPECT_EQ(clone->Skip(1), S_FALSE);
}
