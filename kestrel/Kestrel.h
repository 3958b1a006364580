#pragma once

#define KESTREL_API __attribute__((visibility("default")))

// Answers, over the per-individual sample-type texts of a genotype file,
// which sample type the k-th individual of a given sample type has. The
// array of texts is borrowed: the caller keeps it alive while the object is
// used.
class KESTREL_API IndividualSampleType {
 public:
  IndividualSampleType(const char* const* types, int count);
  IndividualSampleType(const IndividualSampleType& other);
  IndividualSampleType& operator=(const IndividualSampleType& other);
  virtual ~IndividualSampleType();

  const char* get(const char* sampleTypeName, int index);
  int search(const char* sampleTypeName, int occurrence) const;

 private:
  const char* const* m_types;
  const char* m_lastAnswer;
  int m_count;
};

// Exports kept for the library's interface; nothing in the suite uses them.
class KESTREL_API CKestrel {
 public:
  CKestrel();
  CKestrel& operator=(const CKestrel& other);

 private:
  char m_state = 0;
};

KESTREL_API int fnKestrel();
extern KESTREL_API int nKestrel;
