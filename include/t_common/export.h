/// @file
/// The one export macro of t_common.dll. Every exported function and class of
/// the library is declared with T_COMMON_API in the public headers; nothing
/// outside include/ carries it. Programs that link the static library of the
/// same objects (unit tests reaching internals) define T_COMMON_STATIC.
#ifndef T_COMMON_EXPORT_H_
#define T_COMMON_EXPORT_H_

/// @def T_COMMON_API
/// Marks an exported declaration: exports it when building t_common.dll,
/// imports it in callers, nothing with T_COMMON_STATIC.
#if defined(T_COMMON_STATIC)
#define T_COMMON_API
#elif defined(T_COMMON_BUILDING)
#define T_COMMON_API __declspec(dllexport)
#else
#define T_COMMON_API __declspec(dllimport)
#endif

#endif  // T_COMMON_EXPORT_H_
