#include "FuzzTarget.h"

#include "core/AppConfig.h"

// Any configuration file text: either a usable configuration or one error
// naming the line.
ORVELLE_FUZZ_TARGET(config_file)
{
    orvelle::AppConfig config = orvelle::AppConfig::defaults();
    const auto error = config.applyIni(orvelle::fuzz::bytes(data, size), QStringLiteral("f.ini"));
    if (error) {
        FUZZ_CHECK(error->source.startsWith(QLatin1String("f.ini")));
        FUZZ_CHECK(!error->problem.isEmpty());
        return 0;
    }
    FUZZ_CHECK(orvelle::hostProblem(config.serviceHost).isEmpty());
    FUZZ_CHECK(orvelle::hostProblem(config.fileStoreHost).isEmpty());
    FUZZ_CHECK(!config.notesServer.isEmpty());
    FUZZ_CHECK(config.siteUrl.isValid() && !config.siteUrl.host().isEmpty());
    FUZZ_CHECK(config.siteUrl.scheme() == QLatin1String("http")
               || config.siteUrl.scheme() == QLatin1String("https"));
    return 0;
}
