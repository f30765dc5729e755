// TShellLink against the real shell link object: links written, read back
// and checked byte by byte in the file.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/system_error.h"
#include "platform/wide.h"
#include "shelllink/ShellLink.h"
#include "shelllink/com_object.h"
#include "tests/support/test_support.h"

namespace zephora {
namespace {

using test::TempDir;
using test::ToText;

std::uint32_t U32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// A link written straight through the shell link object, for the cases
// the component itself never writes.
void WriteRawLink(const Text& path, int showCommand, const std::wstring& description) {
  com_ptr<IUnknown> object = CreateComObject(CLSID_ShellLink);
  auto link = RequireInterface<IShellLinkW>(object, IID_IShellLinkW);
  auto file = RequireInterface<IPersistFile>(object, IID_IPersistFile);
  link->SetPath(L"C:\\windows\\notepad.exe");
  link->SetDescription(description.c_str());
  link->SetArguments(description.c_str());
  link->SetShowCmd(showCommand);
  ASSERT_EQ(file->Save(ToWide(path).c_str(), FALSE), S_OK);
}

// The show command the platform's link object reports after loading a
// file; Wine's object keeps its own default instead of the stored value.
int LoadedShowCommand(const Text& path) {
  com_ptr<IUnknown> object = CreateComObject(CLSID_ShellLink);
  auto link = RequireInterface<IShellLinkW>(object, IID_IShellLinkW);
  auto file = RequireInterface<IPersistFile>(object, IID_IPersistFile);
  file->Load(ToWide(path).c_str(), STGM_READ);
  int show = 0;
  link->GetShowCmd(&show);
  return show;
}

TEST(ShellLink, WritesTheWizardsShortcutAndReadsItBack) {
  TempDir dir;
  const Text file = ToText(dir / "ZEPHORA.lnk");
  TShellLink link;
  link.Description = u"ZEPHORA";
  link.ProgramFile = u"C:\\ZEPHORA\\ZEPHORA.EXE";
  link.LinkFile = file;
  link.IconIndex = 7;  // ignored without an icon file
  link.Write();
  EXPECT_EQ(link.WorkingDirectory, u"C:\\ZEPHORA\\");

  const std::string bytes = test::ReadFile(dir / "ZEPHORA.lnk");
  ASSERT_GE(bytes.size(), 76u);
  // Header size 0x4C, then the shell link class in its binary form.
  const unsigned char header[20] = {0x4C, 0, 0,    0, 0x01, 0x14, 0x02, 0, 0, 0,
                                    0,    0, 0xC0, 0, 0,    0,    0,    0, 0, 0x46};
  EXPECT_EQ(bytes.substr(0, 20), std::string(reinterpret_cast<const char*>(header), 20));
  const std::uint32_t flags = U32At(bytes, 0x14);
  EXPECT_EQ(flags & 0x40, 0u) << "no icon location";
  EXPECT_NE(flags & 0x10, 0u) << "a working directory";
  EXPECT_NE(flags & 0x04, 0u) << "a description";
  EXPECT_EQ(U32At(bytes, 0x3C), 1u) << "show command";
  EXPECT_EQ(U32At(bytes, 0x40) & 0xFFFF, 0u) << "hot key";

  TShellLink read;
  read.LinkFile = file;
  read.IconIndex = 99;
  read.Read();
  EXPECT_EQ(read.Arguments, u"");
  EXPECT_EQ(read.Description, u"ZEPHORA");
  EXPECT_EQ(read.ProgramFile, u"C:\\ZEPHORA\\ZEPHORA.EXE");
  EXPECT_EQ(read.WorkingDirectory, u"C:\\ZEPHORA\\");
  EXPECT_EQ(read.HotKey, 0);
  EXPECT_EQ(read.IconFile, u"");
  EXPECT_EQ(read.IconIndex, 0u);
  EXPECT_EQ(read.WindowState, TWindowState::wsNormal);
  EXPECT_EQ(read.LinkFile, file);
}

TEST(ShellLink, KeepsTheFirstDerivedWorkingDirectoryOnASecondWrite) {
  TempDir dir;
  TShellLink link;
  link.ProgramFile = u"C:\\ZEPHORA\\ZEPHORA.EXE";
  link.LinkFile = ToText(dir / "a.lnk");
  link.Write();
  link.ProgramFile = u"C:\\OTHER\\OTHER.EXE";
  link.LinkFile = ToText(dir / "b.lnk");
  link.Write();
  EXPECT_EQ(link.WorkingDirectory, u"C:\\ZEPHORA\\");
  TShellLink read;
  read.LinkFile = ToText(dir / "b.lnk");
  read.Read();
  EXPECT_EQ(read.WorkingDirectory, u"C:\\ZEPHORA\\");
}

TEST(ShellLink, AProgramWithoutAFolderLeavesTheWorkingDirectoryEmpty) {
  TempDir dir;
  TShellLink link;
  link.ProgramFile = u"ZEPHORA.EXE";
  link.LinkFile = ToText(dir / "plain.lnk");
  link.Write();
  EXPECT_EQ(link.WorkingDirectory, u"");
  TShellLink read;
  read.LinkFile = ToText(dir / "plain.lnk");
  read.WorkingDirectory = u"stale";
  read.Read();
  EXPECT_EQ(read.WorkingDirectory, u"");
}

TEST(ShellLink, CarriesIconHotKeyArgumentsAndWindowStates) {
  TempDir dir;
  const std::pair<TWindowState, std::uint32_t> states[] = {
      {TWindowState::wsNormal, 1}, {TWindowState::wsMinimized, 6}, {TWindowState::wsMaximized, 3}};
  for (auto [state, show] : states) {
    TShellLink link;
    link.Arguments = u"/quiet";
    link.IconFile = u"C:\\windows\\system32\\shell32.dll";
    link.IconIndex = 3;
    link.HotKey = (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'Z';
    link.WindowState = state;
    link.ProgramFile = u"C:\\windows\\notepad.exe";
    link.WorkingDirectory = u"C:\\users\\";
    link.LinkFile = ToText(dir / "full.lnk");
    link.Write();
    EXPECT_EQ(U32At(test::ReadFile(dir / "full.lnk"), 0x3C), show);

    TShellLink read;
    read.LinkFile = link.LinkFile;
    read.Read();
    EXPECT_EQ(read.Arguments, u"/quiet");
    EXPECT_EQ(read.IconFile, u"C:\\windows\\system32\\shell32.dll");
    EXPECT_EQ(read.IconIndex, 3u);
    EXPECT_EQ(read.HotKey, link.HotKey);
    if (LoadedShowCommand(link.LinkFile) == static_cast<int>(show)) {
      EXPECT_EQ(read.WindowState, state);
    }
    EXPECT_EQ(read.WorkingDirectory, u"C:\\users\\");
  }
}

TEST(ShellLink, AnUnknownShowCommandLeavesTheWindowStateAsItWas) {
  TempDir dir;
  const Text file = ToText(dir / "seven.lnk");
  WriteRawLink(file, SW_SHOWMINNOACTIVE, L"seven");
  if (LoadedShowCommand(file) != SW_SHOWMINNOACTIVE) {
    GTEST_SKIP() << "this link object does not report the stored show command";
  }
  TShellLink read;
  read.LinkFile = file;
  read.WindowState = TWindowState::wsMaximized;
  read.Read();
  EXPECT_EQ(read.Description, u"seven");
  EXPECT_EQ(read.WindowState, TWindowState::wsMaximized);
}

TEST(ShellLink, ReadsLongTextsCutToTheBuffer) {
  TempDir dir;
  const Text file = ToText(dir / "long.lnk");
  WriteRawLink(file, SW_SHOWNORMAL, std::wstring(300, L'x'));
  TShellLink read;
  read.LinkFile = file;
  read.Read();
  EXPECT_LE(read.Description.size(), 255u);
  EXPECT_GE(read.Description.size(), 200u);
  EXPECT_EQ(read.Description, Text(read.Description.size(), u'x'));
  EXPECT_LE(read.Arguments.size(), 255u);
}

// A shortcut that did not reach the disk is no shortcut: the user hears so,
// with the system's reason.
TEST(ShellLink, ALinkThatCannotBeSavedIsReported) {
  TempDir dir;
  for (const Text& linkFile : {ToText(dir / "missing" / "ZEPHORA.lnk"), Text()}) {
    TShellLink link;
    link.ProgramFile = u"C:\\ZEPHORA\\ZEPHORA.EXE";
    link.LinkFile = linkFile;
    try {
      link.Write();
      ADD_FAILURE() << "no error for " << ToUtf8(linkFile);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), u"Cannot create the shortcut \"" + linkFile + u"\". " +
                                 TrimErrorText(SystemErrorText(ERROR_PATH_NOT_FOUND)));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(ShellLink, AMissingLinkFileIsNotReportedWhenRead) {
  TempDir dir;
  TShellLink read;
  read.LinkFile = ToText(dir / "none.lnk");
  EXPECT_NO_THROW(read.Read());
}

TEST(ShellLink, ReportsAClassThatCannotBeCreated) {
  // A class identifier that no server registers.
  const CLSID missing = {
      0x1d2e3f40, 0x5a6b, 0x4c7d, {0x8e, 0x9f, 0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5}};
  try {
    CreateComObject(missing);
    FAIL() << "no error";
  } catch (const EOleSysError& error) {
    EXPECT_EQ(error.ErrorCode, REGDB_E_CLASSNOTREG);
    Text reason = TrimErrorText(SystemErrorText(static_cast<int>(REGDB_E_CLASSNOTREG)));
    if (reason.empty())
      reason = u"OLE error 80040154";
    EXPECT_EQ(error.Message(), reason + u", ClassID: {1D2E3F40-5A6B-4C7D-8E9F-A0B1C2D3E4F5}");
  }
}

TEST(ShellLink, ReportsAMissingInterface) {
  com_ptr<IUnknown> object = CreateComObject(CLSID_ShellLink);
  try {
    RequireInterface<IStream>(object, IID_IStream);
    FAIL() << "no error";
  } catch (const EIntfCastError& error) {
    EXPECT_EQ(error.Message(), u"Interface not supported");
  }
}

}  // namespace
}  // namespace zephora
