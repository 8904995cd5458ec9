#pragma once
// The host's table of standard encoder resolutions (lines per revolution) and the pick of the
// standard resolution nearest to a measured one.

class CResolution {
public:
    // Entries in the table.
    static int GetCount();
    // The entry at `index` (0 the smallest); 0 for an index outside the table.
    static int GetResolution(int index);
    // The entry nearest to |lines|, with the sign of `lines` (the smaller entry on a tie);
    // 0 lines give the smallest entry.
    static int FindBestResolution(int lines);
};
