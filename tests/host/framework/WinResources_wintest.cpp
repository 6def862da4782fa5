// The Windows resource owners of the framework: handle wrappers, the
// entry points loaded on first use, the COM object base, and a script's
// message pump with the services a program installs.
#include <gtest/gtest.h>

#include "host/HostServices.h"
#include "host/app/HostFunctions.h"
#include "host/framework/ComObject.h"
#include "host/framework/LazyApis.h"
#include "host/framework/WinHandles.h"

using namespace paloma;
using namespace paloma::host;

TEST(WinHandles, OwnersReleaseOnceAndMove) {
    UniqueBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    HBRUSH raw = brush.get();
    ASSERT_NE(GetObjectType(raw), 0u);
    UniqueBrush moved(std::move(brush));
    EXPECT_FALSE(brush.valid()) << "moved from";
    EXPECT_EQ(moved.get(), raw);
    moved.reset();
    EXPECT_EQ(GetObjectType(raw), 0u) << "deleted";

    HMENU menuHandle;
    {
        UniqueMenu menu(CreatePopupMenu());
        menuHandle = menu.get();
        ASSERT_TRUE(IsMenu(menuHandle));
    }
    EXPECT_FALSE(IsMenu(menuHandle)) << "destroyed with its owner";

    ScopedWinsock winsock(MAKEWORD(2, 2));
    ASSERT_TRUE(winsock.ok());
    UniqueSocket socketOwner(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    SOCKET s = socketOwner.get();
    ASSERT_TRUE(socketOwner.valid());
    socketOwner = UniqueSocket();
    int type = 0, size = sizeof type;
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size), SOCKET_ERROR);

    WindowDc screen(nullptr);
    EXPECT_TRUE(screen);
    EXPECT_GT(GetDeviceCaps(screen.get(), LOGPIXELSX), 0);
}

TEST(LazyApis, MissingLibrariesAndEntriesFailTheOperationOnly) {
    EXPECT_NE(lazy::InternetCloseHandle.get(), nullptr) << "wininet.dll is there";
    EXPECT_NE(lazy::mixerGetNumDevs.get(), nullptr);
    LazyLibrary missing{L"paloma-no-such-library.dll"};
    LazyEntry<void(WINAPI*)()> fromMissing{missing, "Anything"};
    EXPECT_EQ(fromMissing.get(), nullptr);
    EXPECT_EQ(missing.module(), nullptr);
    LazyEntry<void(WINAPI*)()> noEntry{lazy::wininet, "PalomaNoSuchEntry"};
    EXPECT_FALSE(noEntry);
    UniqueInternet none; // closing an empty owner calls nothing
    EXPECT_FALSE(none.valid());
}

namespace {

int gAlive = 0;

class Probe final : public ComObject<IDispatch> {
public:
    Probe() : sink_(*this) { ++gAlive; }
    ~Probe() override { --gAlive; }
    IDispatch* sink() { return &sink_; }

    void* findInterface(REFIID iid) override {
        return iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return n ? (*n = 0, S_OK) : E_POINTER; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }

private:
    class Sink final : public ComPart<DispatchByIdOnly> {
    public:
        explicit Sink(Probe& owner) : ComPart(static_cast<IDispatch&>(owner)) {}
        void* findInterface(REFIID iid) override {
            return iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
        }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                         UINT*) override {
            return S_OK;
        }
    };
    Sink sink_;
};

} // namespace

TEST(ComObject, CountsReferencesAcrossItsParts) {
    ComPtr<Probe> probe(new Probe);
    ASSERT_EQ(gAlive, 1);
    ComPtr<IDispatch> dispatch = probe.query<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(dispatch);
    EXPECT_FALSE(probe.query<IStream>(IID_IStream)) << "no such interface";
    // The sink shares the object's count: it keeps the object alive.
    ComPtr<IDispatch> sink = ComPtr<IDispatch>::share(probe->sink());
    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u) << "no type information";
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"x");
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    probe.reset();
    dispatch.reset();
    EXPECT_EQ(gAlive, 1) << "the sink still holds it";
    sink.reset();
    EXPECT_EQ(gAlive, 0);
}

namespace {

struct QuitWatch : HostServices {
    int exits = 0;
    int seen = 0;
    bool preTranslateMessage(MSG& msg) override {
        if (msg.message == WM_APP + 7)
            ++seen;
        return false;
    }
    void exitApplication(int) override { ++exits; }
};

} // namespace

TEST(MessagePump, QuitMessageRunsTheExitRoutineAndAnswersFalse) {
    QuitWatch watch;
    ScopedHostServices installed(watch);
    EXPECT_TRUE(pumpWaitingMessages()) << "empty queue";
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 7, 0, 0);
    EXPECT_TRUE(pumpWaitingMessages());
    EXPECT_EQ(watch.seen, 1) << "pre-translation sees each message";
    PostQuitMessage(0);
    EXPECT_FALSE(pumpWaitingMessages());
    EXPECT_EQ(watch.exits, 1);
    EXPECT_EQ(&hostServices(), &watch);
}
