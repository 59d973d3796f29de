#pragma once

#include <QLatin1String>

// Every address of the back end the client talks to, in one place. Callers use
// these constants; no path is written anywhere else.
namespace orvelle::endpoints {

inline constexpr int port = 50000;
// Base path of the inspection service; request paths follow it directly.
inline constexpr QLatin1String serviceBase("/TolvKsServer");
// The file store's upload of one photo.
inline constexpr QLatin1String photoUpload("/fastdfs/fastdfs/upload/file/sample");

// The Notes database behind the "/notes/" endpoints, sent as "db".
inline constexpr QLatin1String notesDatabase("QMDB/gongan/SafetyCheck.nsf");

// Notes views, sent as "db_vw".
namespace views {
// Today's check points of a department.
inline constexpr QLatin1String projectByQzdept("vw-ProjectByQzdept");
// Submitted sheets of a check point.
inline constexpr QLatin1String todayCheckByQzdept("vw-ByTodayCheckByQzdeptForApp");
// One sheet by its form number.
inline constexpr QLatin1String todayCheckByNo("vw-ByTodayCheckByNo");
// The blank sheet of a check point.
inline constexpr QLatin1String projectByKey("vw-ProjectByKey");
inline constexpr QLatin1String standardPlace("vw-StandardPlace");
} // namespace views

// Form-encoded operations (ServiceClient::sendFormRequest).
namespace form {
inline constexpr QLatin1String mobileLogin("/notes/MobileLogin");
inline constexpr QLatin1String notesLogin("/notes/NotesLogin");
inline constexpr QLatin1String changePassword("/notes/NotesChangePassword");
inline constexpr QLatin1String verifyRegistCode("/notes/verifyRegistCode");
inline constexpr QLatin1String verifyRegistReCode("/notes/verifyRegistReCode");
inline constexpr QLatin1String tellNo("/notes/NotesTellNo");
inline constexpr QLatin1String queryVersion("/notes/QueryVersion2");
} // namespace form

// JSON operations (ServiceClient::sendJSONRequest).
namespace json {
inline constexpr QLatin1String todayByDept("/notes/notestodayqzDeptKs");
inline constexpr QLatin1String todayDeptCheck("/notes/notestodayqzDeptCheck");
inline constexpr QLatin1String todayCheckNo("/notes/notestodayCheckNo");
inline constexpr QLatin1String receiveSheet("/notes/notesreceiveKs");
inline constexpr QLatin1String standardPlace("/notes/notesStandardPlace");
inline constexpr QLatin1String createSheet("/notes/notescreate");
inline constexpr QLatin1String createDanger("/notes/notescreateDanger");
} // namespace json

} // namespace orvelle::endpoints
