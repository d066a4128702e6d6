// Writes a download file into the radio on a port through the KX6000 Download Component, bound early
// through its interface (the header widl makes of the type library's IDL), and prints what the component's
// window would show as the events announce it. A second thread, holding the same object, asks for the last
// error while the download runs, as a caller's status display would. Then times GetLastError's round trip
// to the server.
//
// Usage: download-client PORT MODEL FILE [STOP_AT [late]]   e.g.  download-client 1 6100 C:\files\upgrade.s28
// Prints one line per event ("Status|Resetting radio...", "Progress|42", "CurrentFile|...", "Baud|..."),
// then "During|<calls>|<median ms>|<99th percentile ms>|<longest ms>" (the second thread's GetLastError
// calls while the download ran), "Seconds|<the download's>", "DownLoad|<result>|<configurations>",
// "GetLastError|<number>|<message>" and "RoundTrip|<median microseconds of 1000 calls>". With STOP_AT, once
// the percentage reaches that, the event's listener prints what the component answers it while the download
// runs, "Busy|<a second operation's result>|<GetLastError's number>|<RadioType>", and the second thread
// stops the download as a Stop button would: "Second|<a second operation's result>|<ms>",
// "Cancel|<ms>", and when the download has ended "Stopped|<ms from Cancel's answer to DownLoad's>"; the
// stopped DownLoad fails, "Failed|<HRESULT>|<source>|<the component's sentence on the stop>". With "late",
// DownLoad is called by name through IDispatch, as a script calls it.
// Exit status: 0, or 1 when the download failed.
#include <windows.h>
// After windows.h, whose types they use.
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#undef SetPort  // the printer spooler's, which windows.h brings
#include <initguid.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "KX6000Download.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Utf8(const wchar_t* text) {
    if (!text) return {};
    std::string bytes(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

// The optional list left out.
VARIANT Missing() {
    VARIANT none;
    VariantInit(&none);
    V_VT(&none) = VT_ERROR;
    V_ERROR(&none) = DISP_E_PARAMNOTFOUND;
    return none;
}

// What the download's caller, its listener and its second thread share: when to stop, and when it ended.
struct Shared {
    int stopAt = 0;                 // the listener's: 0 once it has asked
    bool late = false;              // DownLoad called by name, as a script calls it
    std::atomic<bool> stop{false};  // set by the listener, taken by the second thread
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // set when DownLoad has answered
    Clock::time_point cancelled{};
};

// Hears the component's events: they arrive while a call such as DownLoad waits for its answer, and may
// call the component themselves.
class Listener final : public IDispatch {
public:
    Listener(_clsDLManager* manager, Shared& shared) : manager(manager), shared(shared) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        const bool known = riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__clsDLManagerEvents;
        *object = known ? this : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as main()
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        static const char* const names[] = {"", "Status", "Progress", "CurrentFile", "Baud"};
        if (member < 1 || member > 4 || params->cArgs != 1) return DISP_E_MEMBERNOTFOUND;
        const VARIANT& value = params->rgvarg[0];
        if (V_VT(&value) == VT_I4) {
            std::printf("%s|%ld\n", names[member], static_cast<long>(V_I4(&value)));
            if (shared.stopAt > 0 && V_I4(&value) >= shared.stopAt) AskBusy();
        } else if (V_VT(&value) == VT_BSTR) {
            std::printf("%s|%s\n", names[member], Utf8(V_BSTR(&value)).c_str());
        }
        std::fflush(stdout);
        return S_OK;
    }

private:
    // The component answers a call made from inside its own event while the download runs; then the
    // second thread stops it.
    void AskBusy() {
        short second = 0;
        LONG number = 0;
        BSTR message = nullptr;
        enmRadioType model{};
        VARIANT none = Missing();
        manager->ReportConfigurations(&none, &second);
        manager->GetLastError(&number, &message);
        manager->get_RadioType(&model);
        std::printf("Busy|%d|%ld|%d\n", second, static_cast<long>(number), static_cast<int>(model));
        SysFreeString(message);
        shared.stopAt = 0;
        shared.stop = true;
    }

    _clsDLManager* manager;
    Shared& shared;
};

// The second thread: asks for the last error every 20 ms until the download has answered, timing each
// call, and stops the download when asked to. Prints the spread of the times.
void Watch(IStream* marshalled, Shared& shared) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    _clsDLManager* manager = nullptr;
    if (SUCCEEDED(CoGetInterfaceAndReleaseStream(marshalled, IID__clsDLManager,
                                                 reinterpret_cast<void**>(&manager)))) {
        std::vector<double> times;
        while (WaitForSingleObject(shared.ended, 20) == WAIT_TIMEOUT) {
            LONG number = 0;
            BSTR message = nullptr;
            const Clock::time_point start = Clock::now();
            manager->GetLastError(&number, &message);
            times.push_back(MillisecondsSince(start));
            SysFreeString(message);
            if (shared.stop.exchange(false)) {
                short second = 0;
                VARIANT none = Missing();
                const Clock::time_point asked = Clock::now();
                manager->ReportConfigurations(&none, &second);
                std::printf("Second|%d|%.1f\n", second, MillisecondsSince(asked));
                const Clock::time_point cancel = Clock::now();
                manager->Cancel();
                shared.cancelled = Clock::now();
                std::printf("Cancel|%.1f\n", MillisecondsSince(cancel));
                std::fflush(stdout);
            }
        }
        std::sort(times.begin(), times.end());
        const size_t count = times.size();
        std::printf("During|%zu|%.1f|%.1f|%.1f\n", count, count ? times[count / 2] : 0.0,
                    count ? times[count * 99 / 100] : 0.0, count ? times.back() : 0.0);
        manager->Release();
    }
    CoUninitialize();
}

int Fail(const char* what, HRESULT result) {
    std::fprintf(stderr, "download-client: %s (0x%08lX)\n", what, static_cast<unsigned long>(result));
    return 1;
}

// "Failed|<HRESULT>|<source>|<description>": why a call failed, as the component says it.
void SayFailure(HRESULT outcome, BSTR source, BSTR description) {
    std::printf("Failed|0x%08lX|%s|%s\n", static_cast<unsigned long>(outcome), Utf8(source).c_str(),
                Utf8(description).c_str());
    SysFreeString(source);
    SysFreeString(description);
}

// After a call through the interface failed: the component's error object, where the system carries it
// back (wine 8 does not).
void SayErrorObject(_clsDLManager* manager, HRESULT outcome) {
    ISupportErrorInfo* supports = nullptr;
    IErrorInfo* info = nullptr;
    BSTR source = nullptr, description = nullptr;
    if (SUCCEEDED(manager->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports))) &&
        supports->InterfaceSupportsErrorInfo(IID__clsDLManager) == S_OK && GetErrorInfo(0, &info) == S_OK) {
        info->GetSource(&source);
        info->GetDescription(&description);
        info->Release();
    }
    if (supports) supports->Release();
    SayFailure(outcome, source, description);
}

// DownLoad as a script caller makes it, through IDispatch by name: a failure's reason comes back with it.
HRESULT DownLoadLate(_clsDLManager* manager, VARIANT* list, short* answer) {
    OLECHAR* name = const_cast<OLECHAR*>(L"DownLoad");
    DISPID member = 0;
    HRESULT outcome = manager->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &member);
    if (FAILED(outcome)) return outcome;
    VARIANT argument, result;  // the list by reference, as a script passes its variable
    VariantInit(&argument);
    VariantInit(&result);
    V_VT(&argument) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&argument) = list;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    EXCEPINFO exception{};
    outcome = manager->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                              &params, &result, &exception, nullptr);
    if (outcome == DISP_E_EXCEPTION) {
        SysFreeString(exception.bstrHelpFile);
        SayFailure(exception.scode, exception.bstrSource, exception.bstrDescription);
    } else if (SUCCEEDED(outcome) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I2))) {
        *answer = V_I2(&result);
    }
    VariantClear(&result);
    return outcome;
}

// The download, with the second thread watching while it runs; its result, -1 when the call failed (a stop).
short Download(_clsDLManager* manager, Shared& shared) {
    // The configurations come back in the Variant, as the component writes them for a caller without window.
    VARIANT list;
    VariantInit(&list);
    IStream* marshalled = nullptr;
    CoMarshalInterThreadInterfaceInStream(IID__clsDLManager, manager, &marshalled);
    std::thread watcher(Watch, marshalled, std::ref(shared));
    short answer = 0;
    const Clock::time_point start = Clock::now();
    const HRESULT outcome =
        shared.late ? DownLoadLate(manager, &list, &answer) : manager->DownLoad(&list, &answer);
    const Clock::time_point answered = Clock::now();
    SetEvent(shared.ended);
    watcher.join();
    if (shared.cancelled != Clock::time_point{})
        std::printf("Stopped|%.0f\n",
                    std::chrono::duration<double, std::milli>(answered - shared.cancelled).count());
    std::printf("Seconds|%.1f\n", std::chrono::duration<double>(answered - start).count());
    std::printf("DownLoad|%d|%s\n", answer, V_VT(&list) == VT_BSTR ? Utf8(V_BSTR(&list)).c_str() : "");
    VariantClear(&list);
    if (FAILED(outcome)) {
        if (!shared.late) SayErrorObject(manager, outcome);
        return -1;
    }
    return answer;
}

// For information: a call's round trip to the server's process.
void TimeRoundTrip(_clsDLManager* manager) {
    std::vector<double> times;
    for (int i = 0; i < 1000; ++i) {
        LONG number = 0;
        BSTR message = nullptr;
        const Clock::time_point start = Clock::now();
        manager->GetLastError(&number, &message);
        times.push_back(MillisecondsSince(start) * 1000);
        SysFreeString(message);
    }
    std::nth_element(times.begin(), times.begin() + 500, times.end());
    std::printf("RoundTrip|%.0f\n", times[500]);
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 4 || count > 6 || (count == 6 && std::wstring(arguments[5]) != L"late")) {
        std::fprintf(stderr, "usage: download-client PORT MODEL FILE [STOP_AT [late]]\n");
        return 2;
    }
    // A single-threaded apartment: the events are delivered to this thread while it waits for a call.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    _clsDLManager* manager = nullptr;
    HRESULT result = CoCreateInstance(CLSID_clsDLManager, nullptr, CLSCTX_LOCAL_SERVER, IID__clsDLManager,
                                      reinterpret_cast<void**>(&manager));
    if (FAILED(result)) return Fail("the component cannot be created (is it registered?)", result);

    Shared shared;
    shared.stopAt = count >= 5 ? _wtoi(arguments[4]) : 0;
    shared.late = count == 6;
    Listener listener(manager, shared);
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* events = nullptr;
    DWORD cookie = 0;
    manager->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    if (points && SUCCEEDED(points->FindConnectionPoint(DIID__clsDLManagerEvents, &events)))
        events->Advise(&listener, &cookie);

    short answer = 0;
    BSTR port = SysAllocString(arguments[1]), file = SysAllocString(arguments[3]);
    manager->put_RadioType(static_cast<enmRadioType>(_wtoi(arguments[2])));
    manager->SetPort(port, VARIANT_FALSE, &answer);
    if (answer == 0) manager->LoadFiles(file, &answer);
    if (answer == 0) answer = Download(manager, shared);

    LONG number = 0;
    BSTR message = nullptr;
    manager->GetLastError(&number, &message);
    std::printf("GetLastError|%ld|%s\n", static_cast<long>(number), Utf8(message).c_str());
    SysFreeString(message);
    TimeRoundTrip(manager);

    if (events) {
        events->Unadvise(cookie);
        events->Release();
    }
    if (points) points->Release();
    SysFreeString(port);
    SysFreeString(file);
    manager->Release();
    CoUninitialize();
    LocalFree(arguments);
    CloseHandle(shared.ended);
    return answer == 0 ? 0 : 1;
}
