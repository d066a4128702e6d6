#include "automation/com/Object.h"

#include <algorithm>
#include <vector>

#include "automation/Session.h"
#include "automation/com/Variants.h"
#include "manager/clsDLManager.h"
#include "platform/win32/Text.h"

namespace kx6000::com {
namespace {

// The members' ids in the type library.
enum Member : DISPID {
    kReportConfigurations = 1,
    kEraseSelected,
    kDownLoad,
    kSetPort,
    kGetLastError,
    kLoadFiles,
    kValidFile,
    kCreateNewLogFile,
    kRadioType,
    kAssumeYes,
    kCancel
};

// The events' ids.
enum Event : DISPID { kStatusChanged = 1, kProgressChanged, kCurrentFileChanged, kBaudChanged };

// A member's result as Invoke gives it. `value` is taken by reference, so it is read after the member that
// the same call's first argument ran has set it.
template <class Value>
HRESULT Answer(HRESULT outcome, VARIANT* result, VARTYPE type, const Value& value) {
    if (FAILED(outcome) || !result) return outcome;
    VariantInit(result);
    V_VT(result) = type;
    if (type == VT_I2) V_I2(result) = static_cast<SHORT>(value);
    if (type == VT_I4) V_I4(result) = static_cast<LONG>(value);
    if (type == VT_BOOL) V_BOOL(result) = static_cast<VARIANT_BOOL>(value);
    return outcome;
}

// A member's parameters by name, in their order, which numbers them among Invoke's arguments; its result,
// the interface's last parameter, is none of them.
std::vector<std::wstring> ParametersOf(ITypeInfo* info, MEMBERID member) {
    std::vector<std::wstring> parameters;
    TYPEATTR* type = nullptr;
    if (FAILED(info->GetTypeAttr(&type))) return parameters;
    FUNCDESC* function = nullptr;
    for (UINT i = 0; !function && i < type->cFuncs; ++i) {
        if (SUCCEEDED(info->GetFuncDesc(i, &function)) && function->memid != member) {
            info->ReleaseFuncDesc(function);
            function = nullptr;
        }
    }
    info->ReleaseTypeAttr(type);
    if (!function) return parameters;
    BSTR names[8] = {};  // the member's, then its parameters'
    UINT count = 0;
    info->GetNames(member, names, 8, &count);
    for (UINT i = 0; i < count; ++i) {
        const bool argument = i >= 1 && i <= static_cast<UINT>(function->cParams) &&
                              !(function->lprgelemdescParam[i - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        if (argument) parameters.emplace_back(names[i], SysStringLen(names[i]));
        SysFreeString(names[i]);
    }
    info->ReleaseFuncDesc(function);
    return parameters;
}

}  // namespace

Object::Object(automation::Session& session, ITypeLib* library, std::function<void()> released)
    : session(session), library(library), released(std::move(released)) {
    library->AddRef();
}

Object::~Object() {
    library->Release();
}

void Object::Announce(std::string_view name) {
    const automation::WindowValues& shown = session.Values();
    Variant value;
    V_VT(&value) = VT_BSTR;
    if (name == "Status") {
        V_BSTR(&value) = BstrOf(shown.Status);
        events.Fire(kStatusChanged, value);
    } else if (name == "Baud") {
        V_BSTR(&value) = BstrOf(shown.Baud);
        events.Fire(kBaudChanged, value);
    } else if (name == "CurrentFile") {
        V_BSTR(&value) = BstrOf(shown.CurrentFile);
        events.Fire(kCurrentFileChanged, value);
    } else {
        V_VT(&value) = VT_I4;
        V_I4(&value) = static_cast<LONG>(shown.Percentage);
        events.Fire(kProgressChanged, value);
    }
}

HRESULT Object::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__clsDLManager) {
        *object = static_cast<_clsDLManager*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        *object = static_cast<IProvideClassInfo2*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG Object::AddRef() {
    return ++references;
}

ULONG Object::Release() {
    const ULONG left = --references;
    if (left == 0) {
        auto tell = std::move(released);
        delete this;
        tell();
    }
    return left;
}

HRESULT Object::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT Object::GetTypeInfo(UINT index, LCID /*locale*/, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return library->GetTypeInfoOfGuid(IID__clsDLManager, info);
}

HRESULT Object::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID /*locale*/, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    ITypeInfo* info = nullptr;
    HRESULT result = library->GetTypeInfoOfGuid(IID__clsDLManager, &info);
    if (FAILED(result)) return result;
    // Names compare without letter case, as script callers write them.
    result = info->GetIDsOfNames(names, 1, ids);
    if (SUCCEEDED(result) && count > 1) {
        const std::vector<std::wstring> parameters = ParametersOf(info, ids[0]);
        for (UINT i = 1; i < count; ++i) {
            const auto named = std::find_if(
                parameters.begin(), parameters.end(),
                [&](const std::wstring& name) { return lstrcmpiW(name.c_str(), names[i]) == 0; });
            if (named == parameters.end())
                result = DISP_E_UNKNOWNNAME;
            else
                ids[i] = static_cast<DISPID>(named - parameters.begin());
        }
    }
    info->Release();
    return result;
}

HRESULT Object::Invoke(DISPID member, REFIID riid, LCID /*locale*/, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* exception, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    // Kept while it runs, whatever the caller releases meanwhile.
    AddRef();
    SetErrorInfo(0, nullptr);  // only a failure of this call leaves its reason
    HRESULT outcome = Call(member, flags, *params, result, argErr);
    Release();
    return Excepted(outcome, exception);
}

HRESULT Object::Excepted(HRESULT outcome, EXCEPINFO* exception) {
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(outcome) || !exception || GetErrorInfo(0, &info) != S_OK) return outcome;
    // A script caller reads it as Err.Number, Err.Source and Err.Description.
    *exception = {};
    exception->scode = outcome;
    info->GetSource(&exception->bstrSource);
    info->GetDescription(&exception->bstrDescription);
    info->Release();
    return DISP_E_EXCEPTION;
}

HRESULT Object::Call(DISPID member, WORD flags, DISPPARAMS& params, VARIANT* result, UINT* argErr) {
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    Arguments arguments(params, put, argErr);
    // A method whose result is used comes as a method and a property read at once.
    const bool call = !put && (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET));
    Variant first, second, copy;
    VARIANT* list = nullptr;
    short answer = 0;
    HRESULT outcome = S_OK;
    auto failed = [&outcome](HRESULT step) { return FAILED(outcome = step); };
    switch (member) {
        case kReportConfigurations:
            if (!call || failed(arguments.Place(0, 1)) || failed(arguments.InOut(0, copy, list))) break;
            return Answer(ReportConfigurations(list, &answer), result, VT_I2, answer);
        case kEraseSelected:
            if (!call || failed(arguments.Place(1, 2)) || failed(arguments.Get(0, VT_BSTR, first)) ||
                failed(arguments.InOut(1, copy, list)))
                break;
            return Answer(EraseSelected(V_BSTR(&first), list, &answer), result, VT_I2, answer);
        case kDownLoad:
            if (!call || failed(arguments.Place(0, 1)) || failed(arguments.InOut(0, copy, list))) break;
            return Answer(DownLoad(list, &answer), result, VT_I2, answer);
        case kSetPort:
            if (!call || failed(arguments.Place(2, 2)) || failed(arguments.Get(0, VT_BSTR, first)) ||
                failed(arguments.Get(1, VT_BOOL, second)))
                break;
            return Answer(SetPort(V_BSTR(&first), V_BOOL(&second), &answer), result, VT_I2, answer);
        case kGetLastError: {
            if (!call || failed(arguments.Place(2, 2))) break;
            V_VT(&first) = VT_I4;
            V_VT(&second) = VT_BSTR;
            V_BSTR(&second) = nullptr;
            if (failed(GetLastError(&V_I4(&first), &V_BSTR(&second))) || failed(arguments.Put(0, first)))
                break;
            return arguments.Put(1, second);
        }
        case kLoadFiles:
            if (!call || failed(arguments.Place(1, 1)) || failed(arguments.Get(0, VT_BSTR, first))) break;
            return Answer(LoadFiles(V_BSTR(&first), &answer), result, VT_I2, answer);
        case kValidFile:
            if (!call || failed(arguments.Place(1, 1)) || failed(arguments.Get(0, VT_BSTR, first))) break;
            return ValidFile(V_BSTR(&first));
        case kCreateNewLogFile:
            if (!call || failed(arguments.Place(0, 0))) break;
            return CreateNewLogFile();
        case kRadioType: {
            if (put) {
                if (failed(arguments.Place(1, 1)) || failed(arguments.Get(0, VT_I4, first))) break;
                return put_RadioType(static_cast<::enmRadioType>(V_I4(&first)));
            }
            ::enmRadioType model{};
            if (!call || failed(arguments.Place(0, 0))) break;
            return Answer(get_RadioType(&model), result, VT_I4, model);
        }
        case kAssumeYes: {
            if (put) {
                if (failed(arguments.Place(1, 1)) || failed(arguments.Get(0, VT_BOOL, first))) break;
                return put_AssumeYes(V_BOOL(&first));
            }
            VARIANT_BOOL yes = VARIANT_FALSE;
            if (!call || failed(arguments.Place(0, 0))) break;
            return Answer(get_AssumeYes(&yes), result, VT_BOOL, yes);
        }
        case kCancel:
            if (!call || failed(arguments.Place(0, 0))) break;
            return Cancel();
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
    // A read of a method's or a write of a method's name finds no such member.
    return FAILED(outcome) ? outcome : DISP_E_MEMBERNOTFOUND;
}

HRESULT Object::Operate(automation::Operation operation, BSTR filesToErase, VARIANT* list, short* result) {
    if (!result) return E_POINTER;
    std::string text;
    if (FAILED(TextOf(list, text))) return Fail(DISP_E_TYPEMISMATCH, "The configuration list is not text");
    AddRef();
    *result = session.Run(operation, Utf8Of(filesToErase), text);
    // The list is the caller's only while the window is not shown, as the component writes it.
    if (list && !Missing(*list) && !session.Manager().Form().UIDisplay()) {
        Variant written;
        V_VT(&written) = VT_BSTR;
        V_BSTR(&written) = BstrOf(text);
        Store(*list, written);
    }
    Release();
    // A stopped operation's call fails, saying how it was stopped and what it left.
    if (!session.StopText().empty()) return Fail(E_ABORT, session.StopText());
    return S_OK;
}

HRESULT Object::ReportConfigurations(VARIANT* strFiles, short* result) {
    return Operate(automation::Operation::Report, nullptr, strFiles, result);
}

HRESULT Object::EraseSelected(BSTR FilesToErase, VARIANT* strFilesToReport, short* result) {
    return Operate(automation::Operation::Erase, FilesToErase, strFilesToReport, result);
}

HRESULT Object::DownLoad(VARIANT* strFilesToReport, short* result) {
    return Operate(automation::Operation::Download, nullptr, strFilesToReport, result);
}

HRESULT Object::SetPort(BSTR strPort, VARIANT_BOOL blnUI, short* result) {
    if (!result) return E_POINTER;
    *result = session.Manager().SetPort(Utf8Of(strPort), blnUI != VARIANT_FALSE);
    return S_OK;
}

HRESULT Object::GetLastError(LONG* lngErrNum, BSTR* strErrDescription) {
    if (!lngErrNum || !strErrDescription) return E_POINTER;
    int32_t number = 0;
    std::string description;
    session.Manager().GetLastError(number, description);
    *lngErrNum = number;
    *strErrDescription = BstrOf(description);
    return S_OK;
}

HRESULT Object::LoadFiles(BSTR FilesToDL, short* result) {
    if (!result) return E_POINTER;
    *result = session.Manager().LoadFiles(Utf8Of(FilesToDL));
    return S_OK;
}

HRESULT Object::ValidFile(BSTR strFileName) {
    session.Manager().ValidFile(Utf8Of(strFileName));
    return S_OK;
}

HRESULT Object::CreateNewLogFile() {
    session.Manager().CreateNewLogFile();
    return S_OK;
}

HRESULT Object::get_RadioType(::enmRadioType* result) {
    if (!result) return E_POINTER;
    *result = static_cast<::enmRadioType>(session.Manager().RadioType());
    return S_OK;
}

HRESULT Object::put_RadioType(::enmRadioType vNewValue) {
    session.Manager().RadioType(static_cast<kx6000::enmRadioType>(vNewValue));
    return S_OK;
}

HRESULT Object::get_AssumeYes(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = session.AssumeYes() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT Object::put_AssumeYes(VARIANT_BOOL value) {
    session.AssumeYes(value != VARIANT_FALSE);
    return S_OK;
}

HRESULT Object::Cancel() {
    session.Cancel();
    return S_OK;
}

HRESULT Object::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    return library->GetTypeInfoOfGuid(CLSID_clsDLManager, info);
}

HRESULT Object::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID__clsDLManagerEvents;
    return S_OK;
}

HRESULT Object::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID__clsDLManager ? S_OK : S_FALSE;
}

HRESULT Object::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT Object::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID__clsDLManagerEvents) return CONNECT_E_NOCONNECTION;
    *point = &events;
    events.AddRef();
    return S_OK;
}

HRESULT Object::Fail(HRESULT result, const std::string& reason) {
    ICreateErrorInfo* made = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&made))) {
        std::wstring description = Wide(reason);
        made->SetGUID(IID__clsDLManager);
        made->SetSource(const_cast<LPOLESTR>(L"KX6000Download.clsDLManager"));
        made->SetDescription(description.data());
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(made->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        made->Release();
    }
    return result;
}

}  // namespace kx6000::com
