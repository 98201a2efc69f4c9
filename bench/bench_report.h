// The benchmark's figures: one table on the terminal and the same figures as a flat JSON
// object, one number per key.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win_types.h"

class CBenchReport {
 public:
  // Keys are written in the order they were set; setting a key again replaces its value.
  void Set(const std::string& sKey, double dValue);
  BOOL Has(const std::string& sKey) const;
  double Get(const std::string& sKey) const;  // 0 when not set

  std::string Json() const;
  BOOL WriteJson(const std::string& sPath) const;
  std::string Table() const;

 private:
  std::vector<std::pair<std::string, double>> m_values;
};
