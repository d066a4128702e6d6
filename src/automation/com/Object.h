// The component's object as calling programs reach it through COM: the dual interface over the process's
// one automation session, late binding as scripts call it, the class's description and its events.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "automation/com/Events.h"
#include "automation/com/Interface.h"

namespace kx6000::automation {
class Session;
enum class Operation;
}  // namespace kx6000::automation

namespace kx6000::com {

class Object final : public _clsDLManager,
                     public IProvideClassInfo2,
                     public ISupportErrorInfo,
                     public IConnectionPointContainer {
public:
    // Serves `session`, described by `library`; `released` is told when the last reference has gone.
    Object(automation::Session& session, ITypeLib* library, std::function<void()> released);
    ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Tells the listeners the window's value `name` ("Status", "Baud", "CurrentFile", "Percentage").
    void Announce(std::string_view name);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argErr) override;

    HRESULT STDMETHODCALLTYPE ReportConfigurations(VARIANT* strFiles, short* result) override;
    HRESULT STDMETHODCALLTYPE EraseSelected(BSTR FilesToErase, VARIANT* strFilesToReport,
                                            short* result) override;
    HRESULT STDMETHODCALLTYPE DownLoad(VARIANT* strFilesToReport, short* result) override;
    HRESULT STDMETHODCALLTYPE SetPort(BSTR strPort, VARIANT_BOOL blnUI, short* result) override;
    HRESULT STDMETHODCALLTYPE GetLastError(LONG* lngErrNum, BSTR* strErrDescription) override;
    HRESULT STDMETHODCALLTYPE LoadFiles(BSTR FilesToDL, short* result) override;
    HRESULT STDMETHODCALLTYPE ValidFile(BSTR strFileName) override;
    HRESULT STDMETHODCALLTYPE CreateNewLogFile() override;
    HRESULT STDMETHODCALLTYPE get_RadioType(::enmRadioType* result) override;
    HRESULT STDMETHODCALLTYPE put_RadioType(::enmRadioType vNewValue) override;
    HRESULT STDMETHODCALLTYPE get_AssumeYes(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE put_AssumeYes(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE Cancel() override;

    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

private:
    // A radio operation with the caller's optional in/out list.
    HRESULT Operate(automation::Operation operation, BSTR filesToErase, VARIANT* list, short* result);
    // IDispatch::Invoke's member, its arguments read and its out values written back.
    HRESULT Call(DISPID member, WORD flags, DISPPARAMS& params, VARIANT* result, UINT* argErr);
    // A failure with its reason for the caller's error object.
    HRESULT Fail(HRESULT result, const std::string& reason);
    // A failed call's error object, for a late-bound caller, in `exception`: DISP_E_EXCEPTION then.
    static HRESULT Excepted(HRESULT outcome, EXCEPINFO* exception);

    automation::Session& session;
    ITypeLib* library;
    std::function<void()> released;
    Events events{*this};
    ULONG references = 1;
};

}  // namespace kx6000::com
