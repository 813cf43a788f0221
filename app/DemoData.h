// The demo database written into a new data directory, so that a newcomer sees a filled list at once.
#pragma once

class TMain_DataModule;

namespace Demo {

// Adds the database "Демонстрационная база" (no password), two groups and a handful of testees.
void CreateDemoDatabase(TMain_DataModule& dm);

} // namespace Demo
