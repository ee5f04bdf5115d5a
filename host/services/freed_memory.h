#pragma once
// Gives the memory freed so far back to the system. glibc keeps freed blocks in the heap for
// later use; after a phase that freed many small blocks (the items of 200,000 files, say) they
// lie between blocks still used, are never handed back on their own, and count towards the
// process's memory while the next phase takes its own. Called between such phases.
namespace tavik {

void GiveBackFreedMemory();

}  // namespace tavik
