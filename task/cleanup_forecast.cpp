#include "task/cleanup_forecast.h"

namespace vendrask {

using namespace tavik;

std::string RetentionEndText(const TArchiveRetention& retention) {
    if (!retention.Readable) return "nicht bestimmbar";
    if (retention.UntilYear == 0) return "keine Frist";
    return "bis " + KeptUntilText(retention.UntilYear);
}

TArchiveForecast ForecastArchive(const TArchivKeeping& keeping, const std::string& path,
                                 const std::optional<TObjektRTypExist>& object, TDateTime modified, TDateTime today) {
    TArchiveForecast forecast;
    forecast.Path = path;
    forecast.Retention = keeping.RetentionOf(path);
    forecast.Kept = keeping.Judge(path);
    if (!object) {
        forecast.Why = "unbekannt: ohne Olvex-Installation (OLVEX_ROOT) sind die Regeln der Objekttabelle nicht "
                       "bekannt";
        if (forecast.Kept.Kept()) forecast.Why += "; bleibt jedenfalls: " + forecast.Kept.Reason;
        return forecast;
    }
    const TDecision rule = DecideDelete(*object, modified, today, true);
    if (!rule.Candidate) {
        forecast.Why = "bleibt: " + ReasonText(rule.Reason, object->Days);
        return forecast;
    }
    if (forecast.Kept.Kept()) {
        forecast.Why = "bleibt: " + forecast.Kept.Reason;
        return forecast;
    }
    forecast.Deletes = true;
    forecast.Why = "wird gelöscht: " + ReasonText(rule.Reason, object->Days) + ", " +
                   (forecast.Retention.UntilYear == 0 ? std::string("keine Aufbewahrungsfrist")
                                                      : "Aufbewahrungsfrist abgelaufen am " +
                                                            KeptUntilText(forecast.Retention.UntilYear));
    return forecast;
}

}  // namespace vendrask
