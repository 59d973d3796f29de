#include "Logging.h"

Q_LOGGING_CATEGORY(lcNet, "orvelle.net")
Q_LOGGING_CATEGORY(lcWeb, "orvelle.web")
Q_LOGGING_CATEGORY(lcVersion, "orvelle.version")
Q_LOGGING_CATEGORY(lcScan, "orvelle.scan")
Q_LOGGING_CATEGORY(lcStore, "orvelle.store")
