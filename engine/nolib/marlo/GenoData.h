#pragma once
// Placeholder until the genotype loader lands.
class GenoData {
 public:
  virtual ~GenoData() = default;
  void loadHeader(const char*) {}
  bool loadData(const char*, const char*) { return false; }
};
