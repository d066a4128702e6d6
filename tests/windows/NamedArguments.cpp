// Calls KX6000Download.clsDLManager late bound, as VBA calls it with named arguments (`m.SetPort
// blnUI:=False, strPort:="1"`): the names through GetIDsOfNames, then Invoke with the named arguments first
// in its list, the positional ones after them from the right. Needs the server registered and a radio on
// COM1. Prints "ok <case>" or "FAIL <case>: ..." per case; exit status 0 when every case held.
#include <windows.h>
// After windows.h, whose types it uses.
#include <ole2.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

VARIANT Text(const wchar_t* text) {
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(text);
    return value;
}

VARIANT Bool(bool yes) {
    VARIANT value;
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = yes ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

// A script's variable, passed by reference.
VARIANT Ref(VARIANT& variable) {
    VARIANT value;
    V_VT(&value) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&value) = &variable;
    return value;
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::wstring TextOf(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) return L"<no text>";
    std::wstring held(V_BSTR(&text), SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return held;
}

struct Call {
    const char* what;
    std::vector<const wchar_t*> names;  // the member, then the named arguments' names
    std::vector<VARIANT> named;         // in the names' order
    std::vector<VARIANT> positional;    // from the left
    HRESULT outcome;                    // GetIDsOfNames', or else Invoke's
    UINT argErr;                        // the failing argument's index in Invoke's list; ~0u: not asked
    int result;                         // the member's result; -1: none
    std::vector<const wchar_t*> held;   // what the variables passed by reference hold afterwards, in order
};

bool Run(IDispatch* manager, Call& row) {
    std::vector<DISPID> ids(row.names.size());
    HRESULT outcome =
        manager->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(row.names.data()),
                               static_cast<UINT>(row.names.size()), LOCALE_USER_DEFAULT, ids.data());
    // The named ones first, then the positional ones from the right.
    std::vector<VARIANT> list = row.named;
    list.insert(list.end(), row.positional.rbegin(), row.positional.rend());
    DISPPARAMS params{list.data(), ids.data() + 1, static_cast<UINT>(list.size()),
                      static_cast<UINT>(row.named.size())};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argErr = ~0u;
    if (SUCCEEDED(outcome))
        outcome =
            manager->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                            &params, &result, &exception, &argErr);
    const int answer = V_VT(&result) == VT_I2 ? V_I2(&result) : -1;
    std::vector<std::wstring> held;
    for (const VARIANT& argument : list)
        if (V_VT(&argument) == (VT_BYREF | VT_VARIANT)) held.push_back(TextOf(*V_VARIANTREF(&argument)));
    for (VARIANT& argument : list) VariantClear(&argument);
    VariantClear(&result);
    const bool ok = outcome == row.outcome && (row.argErr == ~0u || argErr == row.argErr) &&
                    answer == row.result &&
                    held == std::vector<std::wstring>(row.held.begin(), row.held.end());
    std::printf("%s %s", ok ? "ok" : "FAIL", row.what);
    if (!ok) {
        std::printf(": 0x%08lX, argErr %d, result %d, held", static_cast<unsigned long>(outcome),
                    static_cast<int>(argErr), answer);
        for (const std::wstring& text : held) std::printf(" \"%s\"", Utf8(text).c_str());
    }
    std::printf("\n");
    return ok;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID type{};
    IDispatch* manager = nullptr;
    HRESULT made = CLSIDFromProgID(L"KX6000Download.clsDLManager", &type);
    if (SUCCEEDED(made))
        made = CoCreateInstance(type, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&manager));
    if (FAILED(made)) {
        std::printf("FAIL the object cannot be created (0x%08lX)\n", static_cast<unsigned long>(made));
        return 1;
    }
    VARIANT number, message, listed, left;
    for (VARIANT* variable : {&number, &message, &listed, &left}) VariantInit(variable);
    const wchar_t* radios = L"ZMA1B_01.00|0|ZMA1F_01.02.03.04|0|KXA61_HW01|0|";
    // One call a row.
    // clang-format off
    Call calls[] = {
        {"SetPort by name in the other order", {L"SetPort", L"blnUI", L"strPort"}, {Bool(false), Text(L"7")}, {},
         S_OK, ~0u, 11, {}},
        {"GetLastError's variables by name", {L"GetLastError", L"strErrDescription", L"lngErrNum"},
         {Ref(message), Ref(number)}, {}, S_OK, ~0u, -1, {L"Serial port does not exist", L"11"}},
        {"GetLastError without its message", {L"GetLastError", L"lngErrNum"}, {Ref(number)}, {},
         DISP_E_PARAMNOTOPTIONAL, ~0u, -1, {L"11"}},
        {"names in any letter case", {L"setport", L"BLNUI", L"strport"}, {Bool(false), Text(L"1")}, {},
         S_OK, ~0u, 0, {}},
        {"a name that is no parameter", {L"SetPort", L"port", L"blnUI"}, {Text(L"1"), Bool(false)}, {},
         DISP_E_UNKNOWNNAME, ~0u, -1, {}},
        {"the result's name", {L"SetPort", L"result"}, {Bool(false)}, {Text(L"1")},
         DISP_E_UNKNOWNNAME, ~0u, -1, {}},
        {"SetPort by position and by name", {L"SetPort", L"blnUI"}, {Bool(false)}, {Text(L"1")},
         S_OK, ~0u, 0, {}},
        {"SetPort without its port", {L"SetPort", L"blnUI"}, {Bool(false)}, {},
         DISP_E_PARAMNOTOPTIONAL, ~0u, -1, {}},
        {"a port given twice", {L"SetPort", L"strPort"}, {Text(L"2")}, {Text(L"1")},
         DISP_E_PARAMNOTFOUND, 0, -1, {}},
        {"a named text that is no Boolean", {L"SetPort", L"strPort", L"blnUI"}, {Text(L"1"), Text(L"maybe")}, {},
         DISP_E_TYPEMISMATCH, 1, -1, {}},
        {"a named text that is no Boolean, after a positional one", {L"SetPort", L"blnUI"}, {Text(L"maybe")},
         {Text(L"1")}, DISP_E_TYPEMISMATCH, 0, -1, {}},
        {"too many arguments", {L"SetPort", L"blnUI"}, {Bool(false)}, {Text(L"1"), Text(L"2")},
         DISP_E_BADPARAMCOUNT, ~0u, -1, {}},
        {"ReportConfigurations' list by name", {L"ReportConfigurations", L"strFiles"}, {Ref(listed)}, {},
         S_OK, ~0u, 0, {radios}},
        {"EraseSelected by name in the other order", {L"EraseSelected", L"strFilesToReport", L"FilesToErase"},
         {Ref(left), Text(L"0000|X|")}, {}, S_OK, ~0u, 0, {radios}},
    };
    // clang-format on
    bool ok = true;
    for (Call& row : calls) ok = Run(manager, row) && ok;
    for (VARIANT* variable : {&number, &message, &listed, &left}) VariantClear(variable);
    manager->Release();
    CoUninitialize();
    return ok ? 0 : 1;
}
