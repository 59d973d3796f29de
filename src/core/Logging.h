#pragma once

#include <QLoggingCategory>

// One category per area; debug lines only, never shown to the user.
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
Q_DECLARE_LOGGING_CATEGORY(lcVersion)
Q_DECLARE_LOGGING_CATEGORY(lcScan)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
