// T-junctions kept on their through-line.
//
// An 8-thin skeleton has no pixel that can be removed without changing the
// topology, so where a stem meets a line one pixel thick the pixel of the
// line above the stem goes: the line steps diagonally onto the stem's top
// pixel and back, and the junction sits a pixel into the stem.  That is
// harmless for a lone T, but two lines a few pixels apart joined by short
// ties (brick courses, a ladder, stair rails and treads, the rows of a
// table) then have the junctions of each tie one or two pixels apart, and
// the vectorizer takes junctions that close for one split junction: each
// tie collapses to a point and the two lines are drawn as a zigzag between
// them.  Setting the pixel of the line above the stem back gives the
// junction its place on the line, two pixels farther from the other end of
// the tie.
//
// Only such crowded T's are changed: a lone T and everything else keep the
// 8-thin skeleton.  A T qualifies when
//   - its stem's top pixel has exactly three neighbours: the two diagonal
//     ones of the line and the stem below (a pattern thinning leaves only
//     at a T), and the pixel between the two diagonals was ink;
//   - the line is thin there, at most two pixels across, so that its
//     centre is that pixel or the one beside it;
//   - the line runs on straight for two pixels at least on either side and
//     the stem leaves it across (not an X that thinning parted into two
//     Y's, which keeps its parts' shape);
//   - another junction pixel of the skeleton lies within two pixels of the
//     stem's top (a tie's other end, or a T from the other side);
//   - no other T that qualifies would set a pixel next to this one.
// Every test reads the skeleton as thinning left it: a pixel set back here
// has exactly the line on either side and the stem as neighbours, so it is
// simple, which no pixel of the thinned skeleton is, and the reads pass
// over such pixels.  So the result does not depend on the order of the
// scan, and the pass needs no memory.
#ifndef QORFIL2_TEES_H
#define QORFIL2_TEES_H

namespace qorfil {

// Sets back the through-line pixel of every crowded T of the thinned
// skeleton in `img`; `document` (the filter's source, bytesperline bytes
// per row) says what was ink.  Returns the number of pixels set.
template <class Plane> long keep_tees_on_line(Plane &img, const unsigned char *document, int bytesperline);

}  // namespace qorfil

#endif
