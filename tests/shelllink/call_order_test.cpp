// The calls TShellLink makes on the link object, seen by a recording object
// registered in this process for the shell link class: their order, their
// arguments and how the answers become properties.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system_error.h"
#include "platform/wide.h"
#include "shelllink/ShellLink.h"

namespace zephora {
namespace {

class RecordingLink : public IShellLinkW, public IPersistFile {
 public:
  std::vector<std::wstring> calls;
  // What the Get... queries answer.
  std::wstring text = L"answer";
  int showCommand = SW_SHOWNORMAL;
  HRESULT queryResult = S_OK;
  // What SetPath and Save answer.
  HRESULT setPathResult = S_OK;
  HRESULT saveResult = S_OK;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IShellLinkW) {
      *out = static_cast<IShellLinkW*>(this);
    } else if (iid == IID_IPersistFile) {
      *out = static_cast<IPersistFile*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  // IShellLinkW
  HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, WIN32_FIND_DATAW*,
                                    DWORD flags) override {
    calls.push_back(L"GetPath " + std::to_wstring(size) + L" " + std::to_wstring(flags));
    return Answer(file, size);
  }
  HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) override {
    calls.push_back(L"GetDescription " + std::to_wstring(size));
    return Answer(name, size);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override {
    return Record(L"SetDescription", name);
  }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) override {
    calls.push_back(L"GetWorkingDirectory " + std::to_wstring(size));
    return Answer(dir, size);
  }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override {
    return Record(L"SetWorkingDirectory", dir);
  }
  HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int size) override {
    calls.push_back(L"GetArguments " + std::to_wstring(size));
    return Answer(args, size);
  }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override {
    return Record(L"SetArguments", args);
  }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
    calls.push_back(L"GetHotkey");
    if (SUCCEEDED(queryResult))
      *hotkey = 0x0241;
    return queryResult;
  }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
    calls.push_back(L"SetHotkey " + std::to_wstring(hotkey));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int* show) override {
    calls.push_back(L"GetShowCmd");
    if (SUCCEEDED(queryResult))
      *show = showCommand;
    return queryResult;
  }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int show) override {
    calls.push_back(L"SetShowCmd " + std::to_wstring(show));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR path, int size, int* index) override {
    calls.push_back(L"GetIconLocation " + std::to_wstring(size));
    if (SUCCEEDED(queryResult))
      *index = 5;
    return Answer(path, size);
  }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR path, int index) override {
    calls.push_back(L"SetIconLocation " + std::wstring(path) + L" " + std::to_wstring(index));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override {
    Record(L"SetPath", file);
    return setPathResult;
  }

  // IPersistFile
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = CLSID_ShellLink;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file, DWORD mode) override {
    calls.push_back(L"Load " + std::wstring(file) + L" " + std::to_wstring(mode));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, BOOL remember) override {
    calls.push_back(L"Save " + std::wstring(file) + L" " + std::to_wstring(remember));
    return saveResult;
  }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

  ULONG references = 0;

 private:
  // An empty text must arrive as an empty string, never as no string.
  HRESULT Record(const wchar_t* call, LPCWSTR value) {
    calls.push_back(std::wstring(call) + L" " +
                    (value == nullptr ? L"<null>" : L"[" + std::wstring(value) + L"]"));
    return S_OK;
  }
  HRESULT Answer(LPWSTR buffer, int size) {
    if (FAILED(queryResult))
      return queryResult;
    // As the system's object does: cut to fit with its terminating null.
    std::wstring fitted = text.substr(0, static_cast<std::size_t>(size) - 1);
    std::copy(fitted.begin(), fitted.end(), buffer);
    buffer[fitted.size()] = L'\0';
    return S_OK;
  }
};

class RecordingFactory : public IClassFactory {
 public:
  explicit RecordingFactory(RecordingLink& link) : link_(link) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr)
      return CLASS_E_NOAGGREGATION;
    return link_.QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  RecordingLink& link_;
};

// While it lives, the shell link class of this process is the recorder.
class CallOrder : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
  }
  void TearDown() override {
    CoRevokeClassObject(cookie);
    EXPECT_EQ(recorder.references, 0u) << "every interface released";
  }
  RecordingLink recorder;
  RecordingFactory factory{recorder};
  DWORD cookie = 0;
};

TEST_F(CallOrder, WriteSetsEverythingInItsOrderAndSavesWithoutRemembering) {
  TShellLink link;
  link.Description = u"ZEPHORA";
  link.ProgramFile = u"D:\\ZEPHORA\\ZEPHORA.EXE";
  link.LinkFile = u"C:\\Desktop\\ZEPHORA.lnk";
  link.IconIndex = 4;
  link.Write();
  const std::vector<std::wstring> expected = {
      L"SetArguments []",
      L"SetDescription [ZEPHORA]",
      L"SetHotkey 0",
      L"SetPath [D:\\ZEPHORA\\ZEPHORA.EXE]",
      L"SetShowCmd 1",
      L"SetWorkingDirectory [D:\\ZEPHORA\\]",
      L"Save C:\\Desktop\\ZEPHORA.lnk 0",
  };
  EXPECT_EQ(recorder.calls, expected);
}

TEST_F(CallOrder, WriteSetsTheIconOnlyWithAnIconFile) {
  TShellLink link;
  link.IconFile = u"C:\\icons.dll";
  link.IconIndex = 4;
  link.HotKey = 0x0641;
  link.WindowState = TWindowState::wsMaximized;
  link.WorkingDirectory = u"C:\\work";
  link.Write();
  const std::vector<std::wstring> expected = {
      L"SetArguments []",
      L"SetDescription []",
      L"SetHotkey 1601",
      L"SetIconLocation C:\\icons.dll 4",
      L"SetPath []",
      L"SetShowCmd 3",
      L"SetWorkingDirectory [C:\\work]",
      L"Save  0",
  };
  EXPECT_EQ(recorder.calls, expected);
  link.WindowState = TWindowState::wsMinimized;
  recorder.calls.clear();
  link.Write();
  EXPECT_EQ(recorder.calls.at(5), L"SetShowCmd 6");
}

// The message of the exception Write raises, empty when none.
std::wstring WriteFailure(TShellLink& link) {
  try {
    link.Write();
  } catch (const Exception& e) {
    return ToWide(e.Message());
  }
  return {};
}

std::wstring SystemText(DWORD error) {
  return ToWide(TrimErrorText(SystemErrorText(static_cast<int>(error))));
}

TEST_F(CallOrder, WriteReportsATargetTheObjectRefusesAndSavesNothing) {
  recorder.setPathResult = E_INVALIDARG;
  TShellLink link;
  link.ProgramFile = u"D:\\ZEPHORA\\ZEPHORA.EXE";
  link.LinkFile = u"C:\\Desktop\\ZEPHORA.lnk";
  // A result code that wraps a system error reads as that error.
  EXPECT_EQ(WriteFailure(link), L"Cannot create the shortcut \"C:\\Desktop\\ZEPHORA.lnk\". " +
                                    SystemText(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(recorder.calls.back(), L"SetPath [D:\\ZEPHORA\\ZEPHORA.EXE]");
}

TEST_F(CallOrder, WriteReportsALinkThatCannotBeSaved) {
  struct Case {
    HRESULT result;
    std::wstring reason;
  };
  const Case cases[] = {
      {E_ACCESSDENIED, SystemText(ERROR_ACCESS_DENIED)},
      {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), SystemText(ERROR_PATH_NOT_FOUND)},
      // A code the system has no words for.
      {static_cast<HRESULT>(0xA0041234), L"OLE error a0041234"},
  };
  for (const Case& c : cases) {
    recorder.saveResult = c.result;
    recorder.calls.clear();
    TShellLink link;
    link.ProgramFile = u"D:\\ZEPHORA\\ZEPHORA.EXE";
    link.LinkFile = u"C:\\Desktop\\ZEPHORA.lnk";
    EXPECT_EQ(WriteFailure(link),
              L"Cannot create the shortcut \"C:\\Desktop\\ZEPHORA.lnk\". " + c.reason)
        << std::hex << c.result;
    EXPECT_EQ(recorder.calls.back(), L"Save C:\\Desktop\\ZEPHORA.lnk 0");
    // The folder was derived before the save, and stays.
    EXPECT_EQ(link.WorkingDirectory, u"D:\\ZEPHORA\\");
  }
}

TEST_F(CallOrder, WriteTakesSuccessCodesOtherThanSOkAsSuccess) {
  recorder.setPathResult = S_FALSE;
  recorder.saveResult = S_FALSE;
  TShellLink link;
  link.LinkFile = u"C:\\Desktop\\ZEPHORA.lnk";
  EXPECT_EQ(WriteFailure(link), L"");
}

TEST_F(CallOrder, ReadLoadsThenQueriesThroughBuffersOf256) {
  TShellLink link;
  link.LinkFile = u"C:\\x.lnk";
  recorder.showCommand = SW_MINIMIZE;
  link.Read();
  const std::vector<std::wstring> expected = {
      L"Load C:\\x.lnk 0", L"GetArguments 256",        L"GetDescription 256",
      L"GetHotkey",        L"GetIconLocation 256",     L"GetPath 256 2",
      L"GetShowCmd",       L"GetWorkingDirectory 256",
  };
  EXPECT_EQ(recorder.calls, expected);
  EXPECT_EQ(link.Arguments, u"answer");
  EXPECT_EQ(link.Description, u"answer");
  EXPECT_EQ(link.HotKey, 0x0241);
  EXPECT_EQ(link.IconFile, u"answer");
  EXPECT_EQ(link.IconIndex, 5u);
  EXPECT_EQ(link.ProgramFile, u"answer");
  EXPECT_EQ(link.WorkingDirectory, u"answer");
  EXPECT_EQ(link.WindowState, TWindowState::wsMinimized);
  EXPECT_EQ(link.LinkFile, u"C:\\x.lnk");
}

TEST_F(CallOrder, ReadMapsShowCommandsAndKeepsTheStateForOthers) {
  const std::pair<int, TWindowState> cases[] = {{SW_SHOWNORMAL, TWindowState::wsNormal},
                                                {SW_SHOWMAXIMIZED, TWindowState::wsMaximized},
                                                {SW_MINIMIZE, TWindowState::wsMinimized},
                                                {SW_SHOWMINNOACTIVE, TWindowState::wsMaximized},
                                                {0, TWindowState::wsMaximized}};
  for (auto [show, state] : cases) {
    TShellLink link;
    link.WindowState = TWindowState::wsMaximized;
    recorder.showCommand = show;
    link.Read();
    EXPECT_EQ(link.WindowState, state) << show;
  }
}

TEST_F(CallOrder, ReadCutsTextsToTheBuffer) {
  recorder.text = std::wstring(300, L'y');
  TShellLink link;
  link.Read();
  EXPECT_EQ(link.Description, Text(255, u'y'));
  EXPECT_EQ(link.Arguments, Text(255, u'y'));
}

TEST_F(CallOrder, AFailingQueryLeavesItsPropertyAsItWas) {
  recorder.queryResult = E_FAIL;
  TShellLink link;
  link.Description = u"kept";
  link.HotKey = 7;
  link.WindowState = TWindowState::wsMinimized;
  link.Read();
  EXPECT_EQ(link.Description, u"kept");
  EXPECT_EQ(link.HotKey, 7);
  EXPECT_EQ(link.WindowState, TWindowState::wsMinimized);
}

}  // namespace
}  // namespace zephora
