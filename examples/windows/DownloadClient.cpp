// Writes a download file into the radio on a port through the KX6000 Download Component, bound early
// through its interface (the header widl makes of the type library's IDL), and prints what the component's
// window would show as the events announce it. Then times GetLastError's round trip to the server.
//
// Usage: download-client PORT MODEL FILE [STOP_AT]     e.g.  download-client 1 6100 C:\files\upgrade.s28
// Prints one line per event ("Status|Resetting radio...", "Progress|42", "CurrentFile|...", "Baud|..."),
// then "DownLoad|<result>|<configurations>", "GetLastError|<number>|<message>" and
// "RoundTrip|<median microseconds of 1000 calls>". With STOP_AT, the download is stopped through Cancel
// once its percentage reaches that, as a Stop button would, after printing what the component answers
// while it runs: "Busy|<a second operation's result>|<GetLastError's number>|<RadioType>".
// Exit status: 0, or 1 when the download failed.
#include <windows.h>
// After windows.h, whose types they use.
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#undef SetPort  // the printer spooler's, which windows.h brings
#include <initguid.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "KX6000Download.h"

namespace {

std::string Utf8(const wchar_t* text) {
    if (!text) return {};
    std::string bytes(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

// Hears the component's events: they arrive while a call such as DownLoad waits for its answer, and may
// call the component themselves.
class Listener final : public IDispatch {
public:
    Listener(_clsDLManager* manager, int stopAt) : manager(manager), stopAt(stopAt) {}

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
            if (stopAt > 0 && V_I4(&value) >= stopAt) Stop();
        } else if (V_VT(&value) == VT_BSTR) {
            std::printf("%s|%s\n", names[member], Utf8(V_BSTR(&value)).c_str());
        }
        std::fflush(stdout);
        return S_OK;
    }

private:
    void Stop() {
        stopAt = 0;
        short second = 0;
        LONG number = 0;
        BSTR message = nullptr;
        enmRadioType model{};
        VARIANT none;  // the optional list left out
        VariantInit(&none);
        V_VT(&none) = VT_ERROR;
        V_ERROR(&none) = DISP_E_PARAMNOTFOUND;
        manager->ReportConfigurations(&none, &second);
        manager->GetLastError(&number, &message);
        manager->get_RadioType(&model);
        std::printf("Busy|%d|%ld|%d\n", second, static_cast<long>(number), static_cast<int>(model));
        SysFreeString(message);
        manager->Cancel();
    }

    _clsDLManager* manager;
    int stopAt;
};

int Fail(const char* what, HRESULT result) {
    std::fprintf(stderr, "download-client: %s (0x%08lX)\n", what, static_cast<unsigned long>(result));
    return 1;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 4 && count != 5) {
        std::fprintf(stderr, "usage: download-client PORT MODEL FILE [STOP_AT]\n");
        return 2;
    }
    // A single-threaded apartment: the events are delivered to this thread while it waits for a call.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 1;
    _clsDLManager* manager = nullptr;
    HRESULT result = CoCreateInstance(CLSID_clsDLManager, nullptr, CLSCTX_LOCAL_SERVER, IID__clsDLManager,
                                      reinterpret_cast<void**>(&manager));
    if (FAILED(result)) return Fail("the component cannot be created (is it registered?)", result);

    Listener listener(manager, count == 5 ? _wtoi(arguments[4]) : 0);
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
    // The configurations come back in the Variant, as the component writes them for a caller without window.
    VARIANT list;
    VariantInit(&list);
    if (answer == 0) manager->DownLoad(&list, &answer);
    std::printf("DownLoad|%d|%s\n", answer, V_VT(&list) == VT_BSTR ? Utf8(V_BSTR(&list)).c_str() : "");

    LONG number = 0;
    BSTR message = nullptr;
    manager->GetLastError(&number, &message);
    std::printf("GetLastError|%ld|%s\n", static_cast<long>(number), Utf8(message).c_str());
    SysFreeString(message);
    // For information: a call's round trip to the server's process.
    std::vector<double> times;
    for (int i = 0; i < 1000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        manager->GetLastError(&number, &message);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        SysFreeString(message);
    }
    std::nth_element(times.begin(), times.begin() + 500, times.end());
    std::printf("RoundTrip|%.0f\n", times[500]);
    status = answer == 0 ? 0 : 1;

    if (events) {
        events->Unadvise(cookie);
        events->Release();
    }
    if (points) points->Release();
    VariantClear(&list);
    SysFreeString(port);
    SysFreeString(file);
    manager->Release();
    CoUninitialize();
    LocalFree(arguments);
    return status;
}
