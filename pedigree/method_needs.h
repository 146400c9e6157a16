// What a method needs from the run loop and the format it reads: the row of
// the table of methods that the loop and the readers follow.
#pragma once

// Said of a method without a model of X-linked inheritance ("option b " first).
inline constexpr const char* kNoXModel =
    "has no model of X-linked inheritance and does not phase X-linked markers; option i does";

// What a method needs from the run loop.
struct MethodNeeds {
  // Families with fewer members are left out silently.
  int minimumFamilySize = 1;
  // The member-based method reads a parent's side from its sex, so it needs
  // every mother to have sex 2 (other methods only need fathers to be male
  // and mothers not to be).
  bool motherSexTwo = false;
  // Founder allele counts of the segment, gathered in input order as the
  // families are read (prepared on the reading thread).
  bool keepsStatistics = false;
  // Every family of the segment is read before any is solved, and they are
  // solved in ascending family id (same ids keep their input order).
  bool gathersFamilies = false;
  // The families of a segment are read twice: the first reading teaches the
  // method (MethodRun::learn), the second solves.
  bool readsTwice = false;
  // The families are solved one after the other on the reading thread (a
  // method whose random draws run through all families in order).
  bool oneThread = false;
  // The "res" report ends with the total time line.
  bool totalTime = false;
  // The "res" report ends with the founder allele statistics table.
  bool statisticsTable = false;
  // The method gives every phased heterozygous call the probability of its
  // written order (LocusGenotype::phaseProbability).
  bool phaseProbabilities = false;
  // The method has a model of X-linked inheritance (Family::xLinked);
  // without one it leaves X-linked sites as read.
  bool phasesX = false;
};
