#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "Calendar.h"
#include "Language.h"

namespace kelo {

// How long a file may stay before it goes past its date. Raw values are stable: the file
// manager's menu items carry them as tags.
enum class Term { week = 0, month = 1, threeMonths = 2, year = 3 };

inline constexpr std::array<Term, 4> allTerms = {Term::week, Term::month, Term::threeMonths,
                                                 Term::year};

std::optional<Term> termFromRaw(int raw);
// "1 maand" in Dutch, "1 month" in English.
std::string_view label(Term term, Language language);

// The expiry day for a term picked at `now`: the start of the local day that lies the term's
// length after now. Every pick on the same local day gives the same day.
Instant expiryDate(Term term, Instant now, const Calendar &calendar);

} // namespace kelo
