#include "app/platform/locale_id.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace vips::app {
namespace {

constexpr int kEnglishUnitedStates = 1033;

struct LocaleEntry {
  std::string_view name;  // language_COUNTRY
  int id;
};

// The first entry of each language is its main country, used for a name
// that carries the language only.
constexpr std::array kLocales = std::to_array<LocaleEntry>({
    {"af_ZA", 1078},  {"ar_SA", 1025}, {"ar_EG", 3073},  {"az_AZ", 1068}, {"be_BY", 1059},
    {"bg_BG", 1026},  {"ca_ES", 1027}, {"cs_CZ", 1029},  {"da_DK", 1030}, {"de_DE", 1031},
    {"de_CH", 2055},  {"de_AT", 3079}, {"de_LU", 4103},  {"de_LI", 5127}, {"el_GR", 1032},
    {"en_US", 1033},  {"en_GB", 2057}, {"en_AU", 3081},  {"en_CA", 4105}, {"en_NZ", 5129},
    {"en_IE", 6153},  {"en_ZA", 7177}, {"en_IN", 16393}, {"es_ES", 3082}, {"es_MX", 2058},
    {"es_AR", 11274}, {"et_EE", 1061}, {"eu_ES", 1069},  {"fa_IR", 1065}, {"fi_FI", 1035},
    {"fr_FR", 1036},  {"fr_BE", 2060}, {"fr_CA", 3084},  {"fr_CH", 4108}, {"he_IL", 1037},
    {"hi_IN", 1081},  {"hr_HR", 1050}, {"hu_HU", 1038},  {"hy_AM", 1067}, {"id_ID", 1057},
    {"is_IS", 1039},  {"it_IT", 1040}, {"it_CH", 2064},  {"ja_JP", 1041}, {"ka_GE", 1079},
    {"kk_KZ", 1087},  {"ko_KR", 1042}, {"ky_KG", 1088},  {"lt_LT", 1063}, {"lv_LV", 1062},
    {"mk_MK", 1071},  {"mn_MN", 1104}, {"nb_NO", 1044},  {"nl_NL", 1043}, {"nl_BE", 2067},
    {"nn_NO", 2068},  {"pl_PL", 1045}, {"pt_BR", 1046},  {"pt_PT", 2070}, {"ro_RO", 1048},
    {"ro_MD", 2072},  {"ru_RU", 1049}, {"ru_MD", 2073},  {"sk_SK", 1051}, {"sl_SI", 1060},
    {"sq_AL", 1052},  {"sv_SE", 1053}, {"sv_FI", 2077},  {"th_TH", 1054}, {"tr_TR", 1055},
    {"tt_RU", 1092},  {"uk_UA", 1058}, {"ur_PK", 1056},  {"uz_UZ", 1091}, {"vi_VN", 1066},
    {"zh_CN", 2052},  {"zh_TW", 1028}, {"zh_HK", 3076},  {"zh_SG", 4100},
});

}  // namespace

int LocaleIdFromName(std::string_view posixLocale) {
  // language[_territory][.codeset][@modifier]
  const auto cut = posixLocale.find_first_of(".@");
  const std::string_view base = posixLocale.substr(0, cut);
  const auto separator = base.find_first_of("_-");

  std::string language(base.substr(0, separator));
  std::string country;
  if (separator != std::string_view::npos) country = std::string(base.substr(separator + 1));
  for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : country) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  if (language.size() < 2) return kEnglishUnitedStates;  // "", "C"
  for (const auto& entry : kLocales) {
    const std::string_view entryLanguage = entry.name.substr(0, entry.name.find('_'));
    if (entryLanguage != language) continue;
    const std::string_view entryCountry = entry.name.substr(entryLanguage.size() + 1);
    if (country.empty() || entryCountry == country) return entry.id;
  }
  return kEnglishUnitedStates;
}

}  // namespace vips::app
