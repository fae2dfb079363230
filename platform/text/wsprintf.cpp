// wsprintf.cpp - wsprintfW and wvsprintfW, the device's small formatter.
//
// The set is the platform's own: %s (16-bit string), %S (8-bit string, read
// as code page 1252), %c and %C, %d %i %u %x %X with the l and h size
// prefixes (every integer is 32-bit on the device), an optional '#' for the
// 0x prefix, width, precision for strings, the '-' and '0' flags, and %%.
// Output stops at WSPRINTF_MAX units, terminator included, whatever the
// format asks for, so a caller's 1024-unit buffer never overflows.
#include <windows.h>

namespace {

// Writes into the caller's buffer, dropping what would pass the limit.
struct Out {
    LPWSTR buf;
    int len;
    void Put(WCHAR c) {
        if (len < WSPRINTF_MAX - 1)
            buf[len++] = c;
    }
    void Repeat(WCHAR c, int n) {
        for (int i = 0; i < n; ++i)
            Put(c);
    }
};

const WCHAR kNull[] = u"(null)";

WCHAR ByteToUnit(char b) {
    WCHAR w = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &b, 1, &w, 1) != 1)
        return static_cast<unsigned char>(b);
    return w;
}

} // namespace

// wvsprintfW
int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    if (!lpOut || !lpFmt) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list ap;
    va_copy(ap, arglist);
    Out out{lpOut, 0};
    const WCHAR *f = lpFmt;
    while (*f) {
        if (*f != u'%') {
            out.Put(*f++);
            continue;
        }
        const WCHAR *directive = f++;
        bool left = false, zero = false, alt = false;
        for (;; ++f) {
            if (*f == u'-')
                left = true;
            else if (*f == u'0')
                zero = true;
            else if (*f == u'#')
                alt = true;
            else
                break;
        }
        int width = 0;
        while (*f >= u'0' && *f <= u'9') {
            if (width < WSPRINTF_MAX)
                width = width * 10 + (*f - u'0');
            ++f;
        }
        int precision = -1;
        if (*f == u'.') {
            ++f;
            precision = 0;
            while (*f >= u'0' && *f <= u'9') {
                if (precision < WSPRINTF_MAX)
                    precision = precision * 10 + (*f - u'0');
                ++f;
            }
        }
        // Size prefixes: l (long: 32-bit on the device; %ls a 16-bit string)
        // and h (%hs an 8-bit string).
        bool isLong = false, isShort = false;
        if (*f == u'l') {
            isLong = true;
            ++f;
        } else if (*f == u'h') {
            isShort = true;
            ++f;
        }
        WCHAR type = *f;
        if (!type) {
            // A format that ends inside a conversion is written as it is.
            for (const WCHAR *p = directive; p < f; ++p)
                out.Put(*p);
            break;
        }
        ++f;
        switch (type) {
        case u'%':
            out.Put(u'%');
            break;
        case u'c':
        case u'C': {
            int v = va_arg(ap, int);
            WCHAR c = (type == u'C' && !isLong) || isShort ? ByteToUnit(static_cast<char>(v))
                                                          : static_cast<WCHAR>(v);
            if (!left)
                out.Repeat(zero ? u'0' : u' ', width - 1);
            out.Put(c);
            if (left)
                out.Repeat(u' ', width - 1);
            break;
        }
        case u's':
        case u'S': {
            bool narrow = (type == u'S' && !isLong) || isShort;
            const void *p = va_arg(ap, const void *);
            int len = 0;
            if (narrow && p) {
                const char *s = static_cast<const char *>(p);
                while (s[len] && (precision < 0 || len < precision))
                    ++len;
                if (!left)
                    out.Repeat(zero ? u'0' : u' ', width - len);
                for (int i = 0; i < len; ++i)
                    out.Put(ByteToUnit(s[i]));
            } else {
                const WCHAR *s = p ? static_cast<const WCHAR *>(p) : kNull;
                while (s[len] && (precision < 0 || len < precision))
                    ++len;
                if (!left)
                    out.Repeat(zero ? u'0' : u' ', width - len);
                for (int i = 0; i < len; ++i)
                    out.Put(s[i]);
            }
            if (left)
                out.Repeat(u' ', width - len);
            break;
        }
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X': {
            // Every integer argument is 32-bit on the device; %h narrows to 16.
            uint32_t bits = static_cast<uint32_t>(va_arg(ap, int));
            bool isSigned = type == u'd' || type == u'i';
            if (isShort)
                bits = isSigned ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(bits)))
                                : (bits & 0xFFFF);
            bool negative = isSigned && static_cast<int32_t>(bits) < 0;
            uint32_t mag = negative ? 0u - bits : bits;
            WCHAR digits[16];
            int nd = 0;
            unsigned base = (type == u'x' || type == u'X') ? 16 : 10;
            const char *set = type == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            do {
                digits[nd++] = static_cast<WCHAR>(set[mag % base]);
                mag /= base;
            } while (mag);
            WCHAR prefix[3] = {0};
            int np = 0;
            if (negative)
                prefix[np++] = u'-';
            else if (alt && base == 16 && bits != 0) {
                prefix[np++] = u'0';
                prefix[np++] = type;
            }
            int body = np + nd;
            if (!left && !zero)
                out.Repeat(u' ', width - body);
            for (int i = 0; i < np; ++i)
                out.Put(prefix[i]);
            if (!left && zero)
                out.Repeat(u'0', width - body);
            while (nd)
                out.Put(digits[--nd]);
            if (left)
                out.Repeat(u' ', width - body);
            break;
        }
        default:
            // Not a conversion of this formatter: the character stands for
            // itself, as on the device.
            out.Put(type);
            break;
        }
        (void)isLong;
    }
    va_end(ap);
    lpOut[out.len] = 0;
    return out.len;
}

// wsprintfW
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    int n = wvsprintfW(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}
