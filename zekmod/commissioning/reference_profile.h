#pragma once
// Six ramp-and-hold segments of the speed and position tuning tests' reference, as the drive
// program plays them: each segment adds its slope (16.16 fixed point) once per loop sample.
#include <array>
#include <cstdint>

struct ProfileSegment {
    std::int64_t count;  // samples
    std::int64_t slope;  // reference increment per sample, internal units in 16.16
};

// Position: ramps 0 and 3 of types 0/1 always n-1 samples (a 0-sample ramp gives count -1).
enum class ProfileKind { Speed, Position };
enum class ProfileError { None, Count, Slope };

// target: V or P in internal units (already quantised, nonzero); ta, t, tan, tn in s;
// ts = loop period in s; referenceType 0 positive, 1 negative, 2 bidirectional (anything else: 0).
// The whole profile is checked before it is returned: the first segment (0..5) whose count
// (then slope) is out of range decides the error. Failing values saturate to int32.
ProfileError BuildReferenceProfile(ProfileKind kind, int referenceType, std::int64_t target, double ta, double t,
                                   double tan, double tn, double ts, std::array<ProfileSegment, 6>& segments);

// Error texts of the two range failures.
extern const char* const kProfileCountError;
extern const char* const kProfileSlopeError;

// A test speed or position (base unit) made a whole, nonzero number of internal units;
// scale = internal units per base unit. Unchanged when scale is 0 or the product not finite.
double QuantiseTestValue(double value, double scale);
