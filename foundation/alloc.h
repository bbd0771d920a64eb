// Scratch memory pool: chained blocks handed out by pointer bumps and rewound
// at once; per-solve work vectors take their storage from it.
#pragma once

/// Size in bytes of every block of the pool; 0 while no pool has been set up.
extern long ALLOC_BLOCK_SIZE;

/// One block of the pool with its header.
struct AllocBlock {
  AllocBlock* next = nullptr;  ///< following block of the chain; null at the end
  char* start = nullptr;       ///< first byte of the block's memory
  char* cur = nullptr;         ///< first free byte
  char* end = nullptr;         ///< one past the last byte
};

/// A chain of blocks.
struct MemoryPool {
  AllocBlock* head = nullptr;  ///< first block
  AllocBlock* tail = nullptr;  ///< block allocations are taken from
};

/// Sets the block size and creates the pool once; later calls return the pool unchanged.
MemoryPool* AllocInit(long size);
/// A new block of ALLOC_BLOCK_SIZE bytes with its header.
AllocBlock* AllocHdr();
/// len bytes (rounded up to a multiple of 4) from the pool.
void* Alloc(long len);
/// As Alloc, creating the pool with ten times len on first use.
void* New(long len);
/// Rewinds the pool to the start of its first block; returns that block (null without a pool).
AllocBlock* AllocReset();
/// Makes pool current and returns the previous one.
MemoryPool* AllocSetPool(MemoryPool* pool);
/// Frees every block and the current pool record.
void AllocFreePool();
/// True while no block size is set.
bool noPool();
/// Fatal report of this module: the text between two newlines, exit status 1.
[[noreturn]] void AllocError(const char* text);
