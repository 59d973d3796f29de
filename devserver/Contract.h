#pragma once

#include "net/Endpoints.h"

// The addresses and names come from the client's own list, so the two cannot
// drift apart; the codes and texts below are what the client recognises.
namespace orvelle::devserver::contract {

namespace ep = orvelle::endpoints;

inline constexpr int servicePort = ep::port;
inline constexpr int httpPort = 50080;
inline constexpr const char *serviceBase = ep::serviceBase.data();
inline constexpr const char *photoUpload = ep::photoUpload.data();
// Where stored photos are served over plain HTTP; "httpUrl" points below it.
inline constexpr const char *photoPrefix = "/group1/M00";

inline constexpr const char *notesDatabase = ep::notesDatabase.data();

namespace views {
inline constexpr const char *projectByQzdept = ep::views::projectByQzdept.data();
inline constexpr const char *todayCheckByQzdept = ep::views::todayCheckByQzdept.data();
inline constexpr const char *todayCheckByNo = ep::views::todayCheckByNo.data();
inline constexpr const char *projectByKey = ep::views::projectByKey.data();
inline constexpr const char *standardPlace = ep::views::standardPlace.data();
} // namespace views

namespace paths {
inline constexpr const char *mobileLogin = ep::form::mobileLogin.data();
inline constexpr const char *notesLogin = ep::form::notesLogin.data();
inline constexpr const char *changePassword = ep::form::changePassword.data();
inline constexpr const char *verifyRegistCode = ep::form::verifyRegistCode.data();
inline constexpr const char *verifyRegistReCode = ep::form::verifyRegistReCode.data();
inline constexpr const char *tellNo = ep::form::tellNo.data();
inline constexpr const char *queryVersion = ep::form::queryVersion.data();
inline constexpr const char *todayByDept = ep::json::todayByDept.data();
inline constexpr const char *todayDeptCheck = ep::json::todayDeptCheck.data();
inline constexpr const char *todayCheckNo = ep::json::todayCheckNo.data();
inline constexpr const char *receiveSheet = ep::json::receiveSheet.data();
inline constexpr const char *standardPlace = ep::json::standardPlace.data();
inline constexpr const char *createSheet = ep::json::createSheet.data();
inline constexpr const char *createDanger = ep::json::createDanger.data();
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
