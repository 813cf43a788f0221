// The results model of a testee's stored tests, as the opening function of the results window computes it.
#pragma once

#include "data/DataMod.h"
#include "results/ResultsModel.h"

namespace TestSupport {

// The results of the tests stored for testee `menId`, shown with these particulars (name, group, sex,
// age) instead of his own.
inline Results::TResultsModel resultsOf(int menId, const std::array<QString, 4>& particulars = {}) {
    const Data::Repository& repo = Main_DataModule->Repo();
    Results::TResultsModel model = Results::ComputeResults({}, repo.testsOf(menId), repo.references());
    model.Particulars = particulars;
    return model;
}

} // namespace TestSupport
