#include "app/run_loop.h"

#include <map>

#include "app/family_pool.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"

int runMethod(const Method& method, const Settings& settings, const std::string& inputName,
              RunFormat& format) {
  if (!format.open()) return 1;
  const MethodNeeds& needs = method.needs;
  AlleleStats stats;
  std::unique_ptr<MethodRun> run;
  FamilyPool pool(
      needs.oneThread ? 1 : settings.threads, inputName,
      [&format, &run](Family& family, const ResultSinks& buffers) {
        std::unique_ptr<ConfigurationSink> sink = format.sinkFor(buffers);
        run->solve(family, *sink);
      },
      format.results());
  bool completed = true;
  while (completed && format.nextSegment()) {
    // Every chromosome draws from the run's seed afresh, so that one phased
    // on its own (HAPLOTOR_REGION) gets what a run over the whole file gives it.
    if (settings.seed) random_source::seed(*settings.seed);
    stats = AlleleStats();
    run = method.start(MethodInputs{settings, inputName, stats, format.writesPhaseProbabilities(),
                                    format.intervalFractions()});
    if (needs.readsTwice) {
      {
        diagnostics::Capture muted;
        while (std::unique_ptr<Family> family = format.nextFamily()) run->learn(*family);
      }
      run->learned(format.intervalFractions());
      if (!format.restartSegment()) {
        completed = false;
        break;
      }
    }
    // Families that share an id keep their input order.
    std::multimap<int, std::unique_ptr<Family>> gathered;
    while (std::unique_ptr<Family> family = format.nextFamily()) {
      if (needs.keepsStatistics) {
        if (stats.familyCount > 0 && family->locusCount != stats.locusCount) {
          diagnostics::error(inputName + ": family " + std::to_string(family->familyId) + ": it has " +
                             std::to_string(family->locusCount) +
                             " loci but the first family of the run has " + std::to_string(stats.locusCount) +
                             "; family skipped");
          continue;
        }
        family->prepare();
        stats.addFamily(*family);
      }
      if (needs.gathersFamilies) {
        const int id = family->familyId;
        gathered.emplace(id, std::move(family));
      } else {
        pool.submit(std::move(family));
      }
    }
    for (auto& [id, family] : gathered) pool.submit(std::move(family));
    gathered.clear();
    pool.finish();
    completed = format.endSegment(needs.statisticsTable ? &stats : nullptr);
  }
  pool.finish();
  return format.close(completed, needs.totalTime, needs.statisticsTable ? &stats : nullptr);
}
