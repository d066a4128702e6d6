#include "automation/com/Server.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "automation/Session.h"
#include "automation/com/Object.h"
#include "automation/com/Registration.h"
#include "platform/win32/Text.h"
#include "ui/win32/frmDownload.h"

namespace kx6000::com {
namespace {

// An option's word: "/" or "-" before it, any letter case; "" for anything else.
std::string OptionWord(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return {};
    std::string word = argument.substr(1);
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    return word;
}

// The class object: makes the one object of the process, and ends the program once nothing holds it.
class Factory final : public IClassFactory {
public:
    explicit Factory(ITypeLib* library) : library(library) {}
    ~Factory() { library->Release(); }
    Factory(const Factory&) = delete;
    Factory& operator=(const Factory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    // It lives as long as the program serves.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** made) override {
        if (!made) return E_POINTER;
        *made = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        // One object a process: its program-wide state (last error, logs, window) is its caller's alone.
        if (session) return CLASS_E_CLASSNOTAVAILABLE;
        auto form = std::make_unique<frmDownload>();
        window = form.get();
        // A window the caller showed stays open for the person using it until it is closed.
        window->OnClosed([this] { EndWhenUnused(); });
        session = std::make_unique<automation::Session>(std::move(form));
        session->Subscribe([this](std::string_view name) {
            if (object) object->Announce(name);
        });
        object = new Object(*session, library, [this] {
            object = nullptr;
            EndWhenUnused();
        });
        Object* given = object;
        const HRESULT result = given->QueryInterface(riid, made);
        given->Release();
        return result;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        locks += lock ? 1 : -1;
        EndWhenUnused();
        return S_OK;
    }

    // Ends the program's loop when its object has been made and released, no lock is held and the window is
    // not open.
    void EndWhenUnused() {
        if (session && !object && locks <= 0 && !window->Visible()) PostQuitMessage(0);
    }

private:
    ITypeLib* library;
    std::unique_ptr<automation::Session> session;
    frmDownload* window = nullptr;
    Object* object = nullptr;
    int locks = 0;
};

}  // namespace

ServerTask TaskOf(const std::string& argument) {
    const std::string word = OptionWord(argument);
    if (word == "embedding") return ServerTask::Serve;
    if (word == "regserver") return ServerTask::Register;
    if (word == "unregserver") return ServerTask::Unregister;
    return ServerTask::Window;
}

bool Quiet(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin() + std::min<size_t>(arguments.size(), 2), arguments.end(),
                       [](const std::string& argument) { return OptionWord(argument) == "s"; });
}

int Registration(ServerTask task, bool quiet) {
    const bool registering = task == ServerTask::Register;
    const Outcome outcome = registering ? Register() : Unregister();
    if (!quiet) {
        std::string text = registering ? "The KX6000 Download Component is registered."
                                       : "The KX6000 Download Component's registration is removed.";
        if (outcome.code != 0) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(outcome.code));
            text = (registering ? "The KX6000 Download Component is not registered: "
                                : "The KX6000 Download Component's registration is not removed: ") +
                   outcome.reason + " (" + code + ").";
        }
        MessageBoxW(nullptr, Wide(text).c_str(), L"KX6000 Download",
                    MB_OK | (outcome.code == 0 ? MB_ICONINFORMATION : MB_ICONERROR));
    }
    return static_cast<int>(outcome.code);
}

int Serve() {
    // The window's thread is the object's apartment: calls arrive as its messages, also while an operation
    // waits for the radio and lets the window's messages run.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = 1;
    if (ITypeLib* library = OwnTypeLibrary()) {
        Factory factory(library);
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(CLSID_clsDLManager, &factory, CLSCTX_LOCAL_SERVER,
                                            REGCLS_SINGLEUSE, &cookie))) {
            status = frmDownload::MessageLoop();
            CoRevokeClassObject(cookie);
        }
    }
    CoUninitialize();
    return status;
}

}  // namespace kx6000::com
