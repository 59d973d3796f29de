#pragma once

// The addresses, names and codes the client relies on. Kept here rather than
// shared with src/net so the dev service builds without the client's libraries.
namespace orvelle::devserver::contract {

inline constexpr int servicePort = 50000;
inline constexpr int httpPort = 50080;
inline constexpr const char *serviceBase = "/TolvKsServer";
inline constexpr const char *photoUpload = "/fastdfs/fastdfs/upload/file/sample";
// Where stored photos are served over plain HTTP; "httpUrl" points below it.
inline constexpr const char *photoPrefix = "/group1/M00";

inline constexpr const char *notesDatabase = "QMDB/gongan/SafetyCheck.nsf";

namespace views {
inline constexpr const char *projectByQzdept = "vw-ProjectByQzdept";
inline constexpr const char *todayCheckByQzdept = "vw-ByTodayCheckByQzdeptForApp";
inline constexpr const char *todayCheckByNo = "vw-ByTodayCheckByNo";
inline constexpr const char *projectByKey = "vw-ProjectByKey";
inline constexpr const char *standardPlace = "vw-StandardPlace";
} // namespace views

namespace paths {
inline constexpr const char *mobileLogin = "/notes/MobileLogin";
inline constexpr const char *notesLogin = "/notes/NotesLogin";
inline constexpr const char *changePassword = "/notes/NotesChangePassword";
inline constexpr const char *verifyRegistCode = "/notes/verifyRegistCode";
inline constexpr const char *verifyRegistReCode = "/notes/verifyRegistReCode";
inline constexpr const char *tellNo = "/notes/NotesTellNo";
inline constexpr const char *queryVersion = "/notes/QueryVersion2";
inline constexpr const char *todayByDept = "/notes/notestodayqzDeptKs";
inline constexpr const char *todayDeptCheck = "/notes/notestodayqzDeptCheck";
inline constexpr const char *todayCheckNo = "/notes/notestodayCheckNo";
inline constexpr const char *receiveSheet = "/notes/notesreceiveKs";
inline constexpr const char *standardPlace = "/notes/notesStandardPlace";
inline constexpr const char *createSheet = "/notes/notescreate";
inline constexpr const char *createDanger = "/notes/notescreateDanger";
} // namespace paths

// Result codes of the envelope: 1 success, 9 sign-in ended; every refusal
// uses 0 and says why in "msg" (the client tells refusals apart by text).
inline constexpr int codeOk = 1;
inline constexpr int codeSignInEnded = 9;
inline constexpr int codeRefused = 0;

inline constexpr const char *guestMobile = "游客";

// Refusal texts the client recognises.
inline constexpr const char *unboundPhoneText = "此账号未绑定手机号，请绑定手机号";
inline constexpr const char *passwordMismatchText = "Notes与APP密码不一致，请前往修改密码";

} // namespace orvelle::devserver::contract
