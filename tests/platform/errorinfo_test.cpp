#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "kv7/platform/errorinfo.h"

namespace kv7 {
namespace {

TEST(ErrorMapping, MapsErrnoAndWin32ErrorsBothWays) {
  for (int error : {ENOENT, EACCES, EEXIST, ENOSPC, ENAMETOOLONG, ENOTEMPTY, EBUSY, EROFS,
                    EISDIR, EINVAL, ENOMEM, EMFILE, EXDEV, EIO, ECONNREFUSED, ETIMEDOUT,
                    EWOULDBLOCK})
    EXPECT_EQ(ErrnoFromWin32Error(Win32ErrorFromErrno(error)), error) << error;

  EXPECT_EQ(Win32ErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Win32ErrorFromErrno(ENOTDIR), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Win32ErrorFromErrno(EPERM), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Win32ErrorFromErrno(EEXIST), ERROR_FILE_EXISTS);
  EXPECT_EQ(ErrnoFromWin32Error(ERROR_PATH_NOT_FOUND), ENOENT);
  EXPECT_EQ(ErrnoFromWin32Error(ERROR_ALREADY_EXISTS), EEXIST);
  EXPECT_EQ(ErrnoFromWin32Error(ERROR_BADKEY), EIO);
  // A failure never maps to success, even when errno was not set.
  EXPECT_EQ(Win32ErrorFromErrno(0), ERROR_INVALID_FUNCTION);
  EXPECT_TRUE(FAILED(HResultFromErrno(0)));
  EXPECT_EQ(HResultFromErrno(ENOENT), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(SystemMessageText, GivesThePlatformAndLibraryTexts) {
  EXPECT_EQ(SystemMessageText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
            u"No such file or directory");
  EXPECT_EQ(SystemMessageText(E_FAIL), u"Unspecified error");
  EXPECT_EQ(SystemMessageText(E_ACCESSDENIED), u"Access is denied.");
  EXPECT_EQ(SystemMessageText(HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY)),
            u"Not enough memory resources are available to complete this operation.");
  EXPECT_EQ(SystemMessageText(E_INVALIDARG), u"The parameter is incorrect.");
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80041234)), u"Error 0x80041234");
}

TEST(UnixMessageText, WordsFailuresAsTheUnixToolsDo) {
  EXPECT_EQ(UnixMessageText(E_ACCESSDENIED), u"permission denied");
  EXPECT_EQ(UnixMessageText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), u"no such file or directory");
  EXPECT_EQ(UnixMessageText(HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY)), u"the file is read-only");
  EXPECT_EQ(UnixMessageText(E_INVALIDARG), u"invalid argument");
  EXPECT_EQ(UnixMessageText(E_FAIL), u"unspecified error");
  EXPECT_EQ(UnixMessageText(E_ABORT), u"operation aborted");
}

TEST(ErrorInfo, BelongsToTheThreadThatSetIt) {
  ClearErrorInfo();
  HRESULT status = S_OK;
  WString text;
  EXPECT_FALSE(GetErrorInfo(&status, &text));
  EXPECT_EQ(ReportError(E_FAIL), E_FAIL);
  ASSERT_TRUE(GetErrorInfo(&status, &text));
  EXPECT_EQ(status, E_FAIL);
  EXPECT_EQ(text, u"Unspecified error");
  std::thread([] { EXPECT_FALSE(GetErrorInfo(nullptr, nullptr)); }).join();
  ClearErrorInfo();
  EXPECT_FALSE(GetErrorInfo(&status, &text));
}

}  // namespace
}  // namespace kv7
