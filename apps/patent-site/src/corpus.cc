#include "travo/patent_site/corpus.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numeric>
#include <set>
#include <stdexcept>
#include <tuple>

namespace travo::patent_site {
namespace {

// SplitMix64: small, fast and identical everywhere, unlike the standard
// distributions whose output is left to each library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }
  bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
  template <typename T, size_t N>
  const T& pick(const std::array<T, N>& items) { return items[below(N)]; }

 private:
  std::uint64_t state_;
};

struct Words {
  const char* zh;
  const char* en;
};

constexpr std::array<Words, 30> kSubjects{{
    {"電池", "Battery"},           {"半導體", "Semiconductor"},
    {"顯示", "Display"},           {"無人機", "Drone"},
    {"影像感測", "Image Sensing"}, {"發光二極體", "Light-Emitting Diode"},
    {"電路板", "Circuit Board"},   {"記憶體", "Memory"},
    {"天線", "Antenna"},           {"散熱", "Heat Dissipation"},
    {"觸控", "Touch"},             {"馬達驅動", "Motor Drive"},
    {"電動車充電", "Electric Vehicle Charging"},
    {"太陽能電池", "Solar Cell"},  {"光學鏡頭", "Optical Lens"},
    {"晶片封裝", "Chip Package"},  {"晶圓檢測", "Wafer Inspection"},
    {"機器手臂", "Robotic Arm"},   {"醫療影像", "Medical Imaging"},
    {"無線通訊", "Wireless Communication"},
    {"資料處理", "Data Processing"},
    {"語音辨識", "Speech Recognition"},
    {"電源轉換", "Power Conversion"},
    {"穿戴式感測", "Wearable Sensing"},
    {"車用雷達", "Automotive Radar"},
    {"自行車變速", "Bicycle Shifting"},
    {"冷卻循環", "Cooling Cycle"}, {"生物辨識", "Biometric Recognition"},
    {"儲能", "Energy Storage"},    {"鍵盤", "Keyboard"},
}};

constexpr std::array<Words, 10> kModifiers{{
    {"可撓式", "Flexible"}, {"高效率", "High-Efficiency"}, {"低功耗", "Low-Power"},
    {"智慧型", "Smart"},    {"多層", "Multilayer"},        {"微型", "Miniature"},
    {"改良式", "Improved"}, {"攜帶式", "Portable"},        {"高頻", "High-Frequency"},
    {"自動化", "Automated"},
}};

// Title suffix by generation index modulo 20: the first nine carry 裝置,
// six carry 方法 (two of them both), which fixes the counts of those words.
constexpr std::array<Words, 20> kSuffixByIndex{{
    {"裝置", "Device"}, {"裝置", "Device"}, {"裝置", "Device"}, {"裝置", "Device"},
    {"裝置", "Device"}, {"裝置", "Device"}, {"裝置", "Device"},
    {"裝置及方法", "Device and Method"}, {"裝置及方法", "Device and Method"},
    {"方法", "Method"}, {"控制方法", "Control Method"}, {"製造方法", "Manufacturing Method"},
    {"系統", "System"}, {"系統", "System"},
    {"結構及其製造方法", "Structure and Manufacturing Method Thereof"},
    {"模組", "Module"}, {"電路", "Circuit"}, {"結構", "Structure"},
    {"組件", "Assembly"}, {"設備", "Apparatus"},
}};

constexpr std::array<const char*, 17> kComponents{
    "基板", "殼體", "處理單元", "感測元件", "導電層", "絕緣層", "控制器", "驅動單元", "連接器",
    "透鏡", "散熱片", "電極", "儲存單元", "通訊介面", "光源", "支撐架", "彈性件"};

constexpr std::array<const char*, 7> kBenefits{
    "降低製造成本", "提升整體效率", "減少能量損耗", "改善使用者體驗",
    "提高訊號品質", "延長使用壽命", "縮小整體體積"};

constexpr std::array<const char*, 20> kCompanyStems{
    "晶創", "華辰", "鼎新", "宇達", "凌雲", "聯揚", "碩峰", "群典", "瑞昇", "光遠",
    "台穎", "源興", "昱晶", "力捷", "富鈦", "新茂", "博盛", "翔宇", "冠泰", "明緯"};
constexpr std::array<const char*, 10> kIndustries{
    "光電", "科技", "電子", "半導體", "精密", "材料", "能源", "生醫", "通訊", "機電"};
constexpr std::array<const char*, 8> kUniversities{
    "國立玉山大學", "國立北辰科技大學", "國立南瀛大學", "逢源大學",
    "東明科技大學", "財團法人精密工業研究院", "國立中嶺大學", "私立德明大學"};
constexpr std::array<const char*, 8> kPersons{
    "王大明", "李美華", "陳志強", "林佳蓉", "張家豪", "黃雅婷", "吳建宏", "劉淑芬"};
constexpr std::array<const char*, 8> kAmpersandNames{
    "己 & 庚有限公司", "甲 & 乙科技股份有限公司", "丙 & 丁光電有限公司",
    "Smith & Lee Co., Ltd.", "戊 & 辛精密股份有限公司", "Acme & Sons Inc.",
    "壬 & 癸電子有限公司", "宏 & 德材料股份有限公司"};
constexpr std::array<const char*, 4> kForeign{
    "Nordlicht GmbH", "Acme Photonics Inc.", "Kitahara Denki K.K.", "Lumen Systems Corp."};

constexpr std::array<Rare_Term, 7> kRareTerms{{
    {"石墨烯", 25}, {"量子點", 14}, {"超穎介面", 20}, {"奈米碳管", 10},
    {"憶阻器", 3}, {"鈣鈦礦", 1}, {"LiDAR", 7},
}};

struct Date {
  int year, month, day;
};

Date add_months(Date d, int months) {
  const int m = d.month - 1 + months;
  return {d.year + m / 12, m % 12 + 1, d.day};
}

std::string format_date(Date d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year, d.month, d.day);
  return buf;
}

std::string pad(long value, int width) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*ld", width, value);
  return buf;
}

struct Applicant_Pool {
  std::vector<std::string> companies;
};

Applicant_Pool make_pool(Rng& rng) {
  Applicant_Pool pool;
  std::set<std::string> seen;
  for (const char* stem : kCompanyStems) {
    for (int k = 0; k < 4; ++k) {
      std::string name = std::string(stem) + rng.pick(kIndustries) +
                         (rng.chance(75) ? "股份有限公司" : "有限公司");
      if (seen.insert(name).second) pool.companies.push_back(std::move(name));
    }
  }
  return pool;
}

std::string pick_applicant(Rng& rng, const Applicant_Pool& pool, bool first) {
  const size_t roll = rng.below(100);
  if (first) {
    if (roll < 8) return rng.pick(kAmpersandNames);
    if (roll < 18) return rng.pick(kUniversities);
    if (roll < 23) return rng.pick(kPersons);
    if (roll < 26) return rng.pick(kForeign);
  } else {
    if (roll < 40) return rng.pick(kUniversities);
    if (roll < 50) return rng.pick(kPersons);
    if (roll < 55) return rng.pick(kAmpersandNames);
  }
  return pool.companies[rng.below(pool.companies.size())];
}

// Numbers are handed out in date order, as an office does: publication
// numbers by publication date, application numbers by application date
// within each year and kind.
void number_patents(std::vector<Patent>& patents, const std::vector<char>& kinds, Rng& rng) {
  std::vector<size_t> order(patents.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return patents[a].publication_date < patents[b].publication_date;
  });
  std::map<std::string, long> a_serial;  // publication year -> last serial
  long b_serial = 700000 + static_cast<long>(rng.below(20000));
  long u_serial = 600000 + static_cast<long>(rng.below(20000));
  for (size_t i : order) {
    Patent& p = patents[i];
    if (kinds[i] == 'A') {
      const std::string year = p.publication_date.substr(0, 4);
      long& serial = a_serial[year];
      if (serial == 0) serial = 10000 + static_cast<long>(rng.below(3000));
      serial += 1 + static_cast<long>(rng.below(3));
      p.publication_number = "TW" + year + pad(serial, 5) + "A";
    } else if (kinds[i] == 'B') {
      b_serial += 1 + static_cast<long>(rng.below(30));
      p.publication_number = "TWI" + pad(b_serial, 6) + "B";
    } else {
      u_serial += 1 + static_cast<long>(rng.below(20));
      p.publication_number = "TWM" + pad(u_serial, 6) + "U";
    }
  }

  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return patents[a].application_date < patents[b].application_date;
  });
  std::map<std::string, long> appl_serial;  // ROC year and kind digit -> last serial
  for (size_t i : order) {
    Patent& p = patents[i];
    const int roc_year = std::stoi(p.application_date.substr(0, 4)) - 1911;
    const std::string prefix = pad(roc_year, 3) + (kinds[i] == 'U' ? "2" : "1");
    long& serial = appl_serial[prefix];
    serial += 1 + static_cast<long>(rng.below(40));
    p.application_number = prefix + pad(serial, 5);
  }
}

}  // namespace

std::span<const Rare_Term> rare_terms() { return kRareTerms; }

std::vector<Patent> generate_corpus(int count, unsigned seed) {
  if (count < 0) throw std::invalid_argument("patent count must not be negative");
  Rng rng(0x7E57C0DEull * (static_cast<std::uint64_t>(seed) + 1));
  const Applicant_Pool pool = make_pool(rng);

  std::vector<Patent> patents(static_cast<size_t>(count));
  std::vector<char> kinds(patents.size());
  for (size_t i = 0; i < patents.size(); ++i) {
    Patent& p = patents[i];

    const Words& subject = rng.pick(kSubjects);
    const Words& suffix = kSuffixByIndex[i % kSuffixByIndex.size()];
    std::string zh;
    std::string en;
    if (rng.chance(15)) {
      const Words& target = rng.pick(kSubjects);
      zh = std::string("用於") + target.zh + "之" + subject.zh + suffix.zh;
      en = std::string(subject.en) + " " + suffix.en + " for " + target.en;
    } else if (rng.chance(45)) {
      const Words& mod = rng.pick(kModifiers);
      zh = std::string(mod.zh) + subject.zh + suffix.zh;
      en = std::string(mod.en) + " " + subject.en + " " + suffix.en;
    } else {
      zh = std::string(subject.zh) + suffix.zh;
      en = std::string(subject.en) + " " + suffix.en;
    }
    p.title = std::move(zh);
    if (rng.chance(60)) p.english_title = std::move(en);

    const size_t roll = rng.below(100);
    const int applicants = roll < 70 ? 1 : roll < 90 ? 2 : 3;
    while (p.applicants.size() < static_cast<size_t>(applicants)) {
      std::string name = pick_applicant(rng, pool, p.applicants.empty());
      if (std::find(p.applicants.begin(), p.applicants.end(), name) == p.applicants.end()) {
        p.applicants.push_back(std::move(name));
      }
    }
    p.layout = applicants == 1  ? Applicant_Layout::single
               : rng.chance(60) ? Applicant_Layout::lines
                                : Applicant_Layout::semicolons;

    // Kind: A (application published), B (invention granted), U (utility model).
    const size_t kind_roll = rng.below(100);
    const char kind = kind_roll < 45 ? 'A' : kind_roll < 85 ? 'B' : 'U';
    kinds[i] = kind;
    const Date applied{2014 + static_cast<int>(rng.below(8)), 1 + static_cast<int>(rng.below(12)),
                       1 + static_cast<int>(rng.below(28))};
    const int delay_months = kind == 'A'   ? 18
                             : kind == 'B' ? 20 + static_cast<int>(rng.below(17))
                                           : 3 + static_cast<int>(rng.below(6));
    Date published = add_months(applied, delay_months);
    published.day = 1 + static_cast<int>(rng.below(28));
    p.application_date = format_date(applied);
    p.publication_date = format_date(published);

    const size_t k1 = rng.below(kComponents.size());
    const size_t k2 = (k1 + 1 + rng.below(kComponents.size() - 1)) % kComponents.size();
    size_t k3 = rng.below(kComponents.size());
    while (k3 == k1 || k3 == k2) k3 = (k3 + 1) % kComponents.size();
    const char* c1 = kComponents[k1];
    const char* c2 = kComponents[k2];
    const char* c3 = kComponents[k3];
    p.abstract = std::string("本發明提供一種") + p.title + "，包括" + c1 + "、" + c2 + "及" + c3 +
                 "；其中" + c1 + "設置於" + c2 + "上，藉此" + rng.pick(kBenefits) + "。";
  }

  // Plant the rare terms into a fixed number of abstracts each.
  std::vector<size_t> order(patents.size());
  for (const Rare_Term& rare : kRareTerms) {
    std::iota(order.begin(), order.end(), size_t{0});
    const size_t n = std::min(order.size(), static_cast<size_t>(rare.hits));
    for (size_t k = 0; k < n; ++k) {
      std::swap(order[k], order[k + rng.below(order.size() - k)]);
      patents[order[k]].abstract += std::string("本案並結合") + std::string(rare.term) + "技術。";
    }
  }

  number_patents(patents, kinds, rng);
  std::stable_sort(patents.begin(), patents.end(), [](const Patent& a, const Patent& b) {
    return std::tie(a.publication_date, a.publication_number) >
           std::tie(b.publication_date, b.publication_number);
  });
  return patents;
}

}  // namespace travo::patent_site
