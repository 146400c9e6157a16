#include "family_generator.h"

#include <algorithm>
#include <vector>

namespace test_support {
namespace {

struct Person {
  int id = 0;
  int father = 0;
  int mother = 0;
  int sex = 1;
  std::vector<int> paternal;  // haplotype received from the father
  std::vector<int> maternal;  // haplotype received from the mother
};

class Generator {
 public:
  Generator(const GeneratedFamilyOptions& options, std::mt19937& rng) : options_(options), rng_(rng) {}

  int addFounder(int sex) {
    Person p;
    p.id = nextId_++;
    p.sex = sex;
    std::uniform_int_distribution<int> allele(1, std::max(1, options_.alleles));
    for (int l = 0; l < options_.loci; ++l) {
      p.paternal.push_back(allele(rng_));
      p.maternal.push_back(allele(rng_));
    }
    if (options_.founderMissingRate > 0) dropFounderAlleles(p);
    if (options_.xLinked && sex == 1) p.paternal = p.maternal;
    people_.push_back(p);
    return p.id;
  }

  int addChild(int fatherId, int motherId, int sex) {
    Person p;
    p.id = nextId_++;
    p.father = fatherId;
    p.mother = motherId;
    p.sex = sex;
    if (options_.xLinked) {
      p.maternal = transmit(find(motherId));
      p.paternal = sex == 1 ? p.maternal : find(fatherId).maternal;
    } else {
      p.paternal = transmit(find(fatherId));
      p.maternal = transmit(find(motherId));
    }
    people_.push_back(p);
    return p.id;
  }

  void addChildren(int fatherId, int motherId, int count, std::vector<int>* ids) {
    for (int c = 0; c < count; ++c) {
      int id = addChild(fatherId, motherId, coin() ? 1 : 2);
      if (ids != nullptr) ids->push_back(id);
    }
  }

  std::string text(TrueHaplotypes* truth) {
    std::vector<std::string> lines;
    std::bernoulli_distribution missing(options_.missingRate);
    std::bernoulli_distribution missingGenotype(options_.missingGenotypeRate);
    const std::vector<int> idOf = writtenIds();
    if (truth != nullptr) {
      for (const Person& p : people_)
        (*truth)[idOf[static_cast<std::size_t>(p.id)]] = {p.paternal, p.maternal};
    }
    for (const Person& p : people_) {
      std::string line = std::to_string(options_.familyId) + " " + std::to_string(idOf[p.id]) + " " +
                         std::to_string(idOf[p.father]) + " " + std::to_string(idOf[p.mother]) + " " +
                         std::to_string(p.sex) + " 0 0";
      for (int l = 0; l < options_.loci; ++l) {
        int a = p.paternal[static_cast<std::size_t>(l)];
        int b = p.maternal[static_cast<std::size_t>(l)];
        if (coin()) std::swap(a, b);
        if (missing(rng_)) a = 0;
        if (missing(rng_)) b = 0;
        if (options_.missingGenotypeRate > 0 && missingGenotype(rng_)) a = b = 0;
        if (options_.typingErrorRate > 0) mistype(a, b);
        line.append(" ").append(std::to_string(a)).append(" ").append(std::to_string(b));
      }
      lines.push_back(line + "\n");
    }
    if (options_.shuffled) {
      std::shuffle(lines.begin(), lines.end(), rng_);
    } else if (options_.childrenFirst) {
      std::reverse(lines.begin(), lines.end());
    }
    std::string all;
    for (const std::string& line : lines) all += line;
    return all;
  }

  Person& find(int id) {
    return *std::find_if(people_.begin(), people_.end(), [id](const Person& p) { return p.id == id; });
  }

 private:
  bool coin() { return std::uniform_int_distribution<int>(0, 1)(rng_) == 1; }

  std::vector<int> transmit(const Person& parent) {
    std::bernoulli_distribution recombine(options_.recombinationRate);
    bool fromPaternal = coin();
    std::vector<int> haplotype;
    for (int l = 0; l < options_.loci; ++l) {
      if (l > 0 && recombine(rng_)) fromPaternal = !fromPaternal;
      haplotype.push_back(fromPaternal ? parent.paternal[static_cast<std::size_t>(l)]
                                       : parent.maternal[static_cast<std::size_t>(l)]);
    }
    return haplotype;
  }

  // Index: generated id (0 for "no parent"); value: the id written.
  std::vector<int> writtenIds() {
    std::vector<int> ids(people_.size() + 1);
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int>(i);
    if (options_.shuffledIds) std::shuffle(ids.begin() + 1, ids.end(), rng_);
    return ids;
  }

  void dropFounderAlleles(Person& p) {
    std::bernoulli_distribution missing(options_.founderMissingRate);
    for (int& a : p.paternal) a = missing(rng_) ? 0 : a;
    for (int& a : p.maternal) a = missing(rng_) ? 0 : a;
  }

  void mistype(int& a, int& b) {
    if (!std::bernoulli_distribution(options_.typingErrorRate)(rng_)) return;
    std::uniform_int_distribution<int> value(0, std::max(1, options_.alleles));
    (coin() ? a : b) = value(rng_);
  }

  const GeneratedFamilyOptions& options_;
  std::mt19937& rng_;
  std::vector<Person> people_;
  int nextId_ = 1;
};

}  // namespace

std::string generateFamilyText(const GeneratedFamilyOptions& options, std::mt19937& rng,
                               TrueHaplotypes* truth) {
  Generator generator(options, rng);
  int father = generator.addFounder(1);
  int mother = generator.addFounder(2);
  std::vector<int> children;
  generator.addChildren(father, mother, options.children, &children);
  if (options.halfSiblings) {
    int secondMate = generator.addFounder(2);
    generator.addChildren(father, secondMate, options.children, nullptr);
  }
  if (options.generations >= 3) {
    const int grandchildren = options.grandchildren >= 0 ? options.grandchildren : options.children;
    // Each couple's children; the next generation marries the first of each.
    std::vector<std::vector<int>> sibships{children};
    for (int generation = 3; generation <= options.generations; ++generation) {
      std::vector<std::vector<int>> next;
      for (const std::vector<int>& sibship : sibships) {
        for (std::size_t i = 0; i < sibship.size() && static_cast<int>(i) < options.marriedChildren; ++i) {
          const int child = sibship[i];
          const bool male = generator.find(child).sex == 1;
          const int spouse = generator.addFounder(male ? 2 : 1);
          next.emplace_back();
          generator.addChildren(male ? child : spouse, male ? spouse : child, grandchildren,
                                options.generations > generation ? &next.back() : nullptr);
        }
      }
      sibships = std::move(next);
    }
  }
  return generator.text(truth);
}

}  // namespace test_support
