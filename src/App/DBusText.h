#pragma once

#include <QString>
#include <string_view>

#include "UI/URLCommandRouter.h"

namespace torvel {

/// UTF-8 text of the core as Qt text, for what the bus sends.
inline QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// Caller input as an error message may repeat it: cleaned and short.
inline QString quoted(const QString& input) {
    return qtext(URLCommandRouter::excerpt(input.toStdString()));
}

}  // namespace torvel
