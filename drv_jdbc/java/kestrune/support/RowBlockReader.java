package kestrune.support;

import java.lang.ref.WeakReference;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.CharBuffer;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.nio.charset.CoderResult;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.time.LocalDateTime;
import java.util.TimeZone;

/**
 * Reads the rows of a ResultSet into memory the driver hands over, so that a
 * block of rows crosses between the driver and Java in one call instead of
 * one call per cell.
 *
 * The buffer starts with a header of int fields: the column count and one
 * kind per column, which the driver writes, and what the last fill did, which
 * the reader writes.  Each cell follows in row order: its value in the kind's
 * form, then one byte that is 1 when wasNull() answered true.  The values are
 * those of the ResultSet getters the driver calls cell by cell, read in the
 * same order.  Numbers are in the platform's byte order.
 */
public final class RowBlockReader {
    // Header fields (byte offsets).
    static final int H_COLUMNS = 0;
    static final int H_ROWS = 4;      // rows read whole by the last fill
    static final int H_STOP = 8;      // column (from 0) of the next row that was left unread, or -1
    static final int H_END = 12;      // 1 when next() answered false
    static final int H_USED = 16;     // offset after the last whole cell
    static final int H_FAILED = 20;   // column whose getter threw, -1 for next(), -2 for none
    static final int H_KINDS = 24;

    // Column kinds.
    static final int K_STOP = 0;      // not read here: the row stops before it
    static final int K_BOOLEAN = 1;   // getBoolean: one byte 0 or 1
    static final int K_BYTE = 2;      // getByte
    static final int K_SHORT = 3;
    static final int K_INT = 4;
    static final int K_FLOAT = 5;
    static final int K_DOUBLE = 6;
    static final int K_DATE = 7;      // getDate: year, month, day as ints
    static final int K_TIME = 8;      // getTime: hours, minutes, seconds
    static final int K_TIMESTAMP = 9; // getTimestamp: year, month, day, hours, minutes, seconds, nanos
    static final int K_CHARS = 10;    // getString: int length in units (-1 for null), UTF-16 units
    static final int K_ENCODED = 11;  // getString: int length in bytes (-1 for null), bytes in the charset
    static final int K_BYTES = 12;    // getBytes: int length (-1 for null), bytes

    private static final long YEAR_ONE = -62135769600000L;  // 0001-01-01 00:00 UTC
    private static final long TWO_DAYS = 2 * 86400000L;

    private final ByteBuffer buf;
    private final boolean utf8;
    private final boolean knownCharset;
    private final CharsetEncoder encoder;  // null with UTF-8 or an unknown charset
    private int[] kind = new int[0];  // the header's column kinds
    private boolean fixedZone;        // the default time zone keeps one offset
    private String zoneId;
    private boolean zoneFixed;
    private WeakReference<ResultSet> plainFor = new WeakReference<>(null);
    private boolean[] plainTimestamp = new boolean[0];
    private char[] chars = new char[64];
    private CharBuffer charView = CharBuffer.wrap(chars);

    /**
     * A reader over a direct buffer; text of kind K_ENCODED is encoded as
     * String.getBytes(charsetName) does.
     */
    public RowBlockReader(ByteBuffer buf, String charsetName) {
        this.buf = buf.order(ByteOrder.nativeOrder());
        Charset cs = null;
        try {
            cs = Charset.forName(charsetName);
        } catch (RuntimeException e) {
            cs = null;
        }
        utf8 = StandardCharsets.UTF_8.equals(cs);
        encoder = cs == null || utf8 ? null
                : cs.newEncoder().onMalformedInput(CodingErrorAction.REPLACE)
                        .onUnmappableCharacter(CodingErrorAction.REPLACE);
        knownCharset = cs != null;
    }

    /**
     * Reads up to maxRows rows, moving the ResultSet on before each.  Stops
     * early at the end of the rows, and inside a row before a value that does
     * not fit (the ResultSet stays on that row for the driver to read the
     * rest).  An exception from the ResultSet is passed on once the header
     * tells how far the reading got.  Answers the rows read whole.
     */
    public int fill(ResultSet rs, int maxRows) throws SQLException {
        final ByteBuffer b = buf;
        final int columns = b.getInt(H_COLUMNS);
        int rows = 0;
        int col = -1;
        int stop = -1;
        int end = 0;
        boolean failed = true;
        if (kind.length != columns)
            kind = new int[columns];
        for (int k = 0; k < columns; ++k)
            kind[k] = b.getInt(H_KINDS + 4 * k);
        fixedZone = defaultZoneIsFixed();
        if (fixedZone)
            findPlainTimestamps(rs, columns);
        b.clear();
        b.position(dataStart(columns));
        int used = b.position();
        try {
            while (rows < maxRows) {
                col = -1;
                if (!rs.next()) {
                    end = 1;
                    break;
                }
                for (col = 0; col < columns; ++col) {
                    if (!readCell(rs, col + 1, kind[col])) {
                        stop = col;
                        break;
                    }
                    used = b.position();
                }
                if (stop >= 0)
                    break;
                ++rows;
            }
            failed = false;
        } finally {
            b.putInt(H_ROWS, rows);
            b.putInt(H_STOP, failed ? -1 : stop);
            b.putInt(H_END, end);
            b.putInt(H_USED, used);
            b.putInt(H_FAILED, failed ? col : -2);
        }
        return rows;
    }

    /** Offset of the first cell for a column count. */
    static int dataStart(int columns) {
        return (H_KINDS + 4 * columns + 7) & ~7;
    }

    // Reads one cell; false (position unchanged) when it does not fit or the
    // kind is not read here.
    private boolean readCell(ResultSet rs, int i, int kind) throws SQLException {
        final ByteBuffer b = buf;
        final int mark = b.position();
        final int room = b.remaining();
        switch (kind) {
        case K_BOOLEAN: {
            if (room < 2)
                return false;
            boolean v = rs.getBoolean(i);
            b.put((byte) (v ? 1 : 0));
            break;
        }
        case K_BYTE: {
            if (room < 2)
                return false;
            b.put(rs.getByte(i));
            break;
        }
        case K_SHORT: {
            if (room < 3)
                return false;
            b.putShort(rs.getShort(i));
            break;
        }
        case K_INT: {
            if (room < 5)
                return false;
            b.putInt(rs.getInt(i));
            break;
        }
        case K_FLOAT: {
            if (room < 5)
                return false;
            b.putFloat(rs.getFloat(i));
            break;
        }
        case K_DOUBLE: {
            if (room < 9)
                return false;
            b.putDouble(rs.getDouble(i));
            break;
        }
        case K_DATE: {
            if (room < 13)
                return false;
            java.sql.Date v = rs.getDate(i);
            if (v == null) {
                b.putInt(0).putInt(0).putInt(0);
            } else {
                int year = v.getYear() + 1900;
                int month = v.getMonth() + 1;
                int day = v.getDate();
                b.putInt(astronomicalYear(v, year)).putInt(month).putInt(day);
            }
            break;
        }
        case K_TIME: {
            if (room < 13)
                return false;
            java.sql.Time v = rs.getTime(i);
            if (v == null)
                b.putInt(0).putInt(0).putInt(0);
            else
                b.putInt(v.getHours()).putInt(v.getMinutes()).putInt(v.getSeconds());
            break;
        }
        case K_TIMESTAMP: {
            if (room < 29)
                return false;
            if (fixedZone && plainTimestamp[i - 1] && putLocalTimestamp(rs, i))
                break;
            java.sql.Timestamp v = rs.getTimestamp(i);
            if (v == null) {
                b.putInt(0).putInt(0).putInt(0).putInt(0).putInt(0).putInt(0).putInt(0);
            } else {
                int year = v.getYear() + 1900;
                int month = v.getMonth() + 1;
                int day = v.getDate();
                int hours = v.getHours();
                int minutes = v.getMinutes();
                int seconds = v.getSeconds();
                int nanos = v.getNanos();
                b.putInt(astronomicalYear(v, year)).putInt(month).putInt(day).putInt(hours).putInt(minutes)
                        .putInt(seconds).putInt(nanos);
            }
            break;
        }
        case K_CHARS: {
            if (room < 5)
                return false;
            String v = rs.getString(i);
            if (v == null) {
                b.putInt(-1);
                break;
            }
            final int n = v.length();
            if ((long) room < 5L + 2L * n)
                return false;
            b.putInt(n);
            for (int k = 0; k < n; ++k)
                b.putChar(v.charAt(k));
            break;
        }
        case K_ENCODED: {
            if (room < 5 || !knownCharset)
                return false;
            String v = rs.getString(i);
            if (v == null) {
                b.putInt(-1);
                break;
            }
            if (!(utf8 ? putUtf8(v) : putEncoded(v))) {
                b.position(mark);
                return false;
            }
            break;
        }
        case K_BYTES: {
            if (room < 5)
                return false;
            byte[] v = rs.getBytes(i);
            if (v == null) {
                b.putInt(-1);
                break;
            }
            if ((long) room < 5L + v.length)
                return false;
            b.putInt(v.length).put(v);
            break;
        }
        default:
            return false;
        }
        if (!b.hasRemaining()) {
            b.position(mark);
            return false;
        }
        b.put((byte) (rs.wasNull() ? 1 : 0));
        return true;
    }

    // Whether the VM's default time zone keeps one offset for all time (the
    // answer is kept for as long as the zone's name stays the same).
    private boolean defaultZoneIsFixed() {
        TimeZone tz = TimeZone.getDefault();
        String id = tz.getID();
        if (!id.equals(zoneId)) {
            boolean fixed;
            try {
                fixed = tz.toZoneId().getRules().isFixedOffset();
            } catch (RuntimeException e) {
                fixed = false;
            }
            zoneFixed = fixed;
            zoneId = id;
        }
        return zoneFixed;
    }

    // Which columns hold timestamps without a time zone (read through
    // LocalDateTime), found once per ResultSet; none when the metadata
    // cannot tell.
    private void findPlainTimestamps(ResultSet rs, int columns) {
        if (plainFor.get() == rs && plainTimestamp.length == columns)
            return;
        boolean[] plain = new boolean[columns];
        try {
            java.sql.ResultSetMetaData md = null;
            for (int k = 0; k < columns; ++k) {
                if (kind[k] != K_TIMESTAMP)
                    continue;
                if (md == null)
                    md = rs.getMetaData();
                plain[k] = "timestamp".equals(md.getColumnTypeName(k + 1));
            }
        } catch (SQLException | RuntimeException e) {
            plain = new boolean[columns];
        }
        plainTimestamp = plain;
        plainFor = new WeakReference<>(rs);
    }

    // The fields of a timestamp without a time zone as the LocalDateTime
    // pgjdbc reads it into, for years 1583 to 9999.  getTimestamp reads such
    // a value into an instant through the default time zone and the
    // Gregorian calendar, and the Timestamp's getters bring the same fields
    // back when that zone keeps one offset: here they are taken without the
    // round trip.  False (nothing written) for any other value, which
    // getTimestamp reads.
    private boolean putLocalTimestamp(ResultSet rs, int i) {
        LocalDateTime v;
        try {
            v = rs.getObject(i, LocalDateTime.class);
        } catch (SQLException e) {
            return false;
        }
        if (v == null) {
            buf.putInt(0).putInt(0).putInt(0).putInt(0).putInt(0).putInt(0).putInt(0);
            return true;
        }
        final int year = v.getYear();
        if (year < 1583 || year > 9999)
            return false;
        buf.putInt(year).putInt(v.getMonthValue()).putInt(v.getDayOfMonth()).putInt(v.getHour())
                .putInt(v.getMinute()).putInt(v.getSecond()).putInt(v.getNano());
        return true;
    }

    // The year of era getYear gives turned into an astronomical year for a
    // value before 1 January of year 1 (1 BC is year 0); only values within
    // two days of that instant need the local time zone.
    @SuppressWarnings("deprecation")
    private static int astronomicalYear(java.util.Date v, int year) {
        long ms = v.getTime();
        boolean bc = ms < YEAR_ONE - TWO_DAYS;
        if (!bc && ms < YEAR_ONE + TWO_DAYS)
            bc = v.before(new java.util.Date(-1899, 0, 1));
        return bc ? 1 - year : year;
    }

    // Length and UTF-8 bytes as String.getBytes(UTF_8) gives them (a lone
    // surrogate becomes '?'); false when they do not fit.
    private boolean putUtf8(String v) {
        final ByteBuffer b = buf;
        final int n = v.length();
        long need = 0;
        for (int k = 0; k < n; ++k) {
            char c = v.charAt(k);
            if (c < 0x80) {
                need += 1;
            } else if (c < 0x800) {
                need += 2;
            } else if (Character.isHighSurrogate(c) && k + 1 < n && Character.isLowSurrogate(v.charAt(k + 1))) {
                need += 4;
                ++k;
            } else if (Character.isSurrogate(c)) {
                need += 1;
            } else {
                need += 3;
            }
        }
        if (b.remaining() < 4 + need + 1)
            return false;
        b.putInt((int) need);
        for (int k = 0; k < n; ++k) {
            char c = v.charAt(k);
            if (c < 0x80) {
                b.put((byte) c);
            } else if (c < 0x800) {
                b.put((byte) (0xC0 | (c >> 6))).put((byte) (0x80 | (c & 0x3F)));
            } else if (Character.isHighSurrogate(c) && k + 1 < n && Character.isLowSurrogate(v.charAt(k + 1))) {
                int cp = Character.toCodePoint(c, v.charAt(++k));
                b.put((byte) (0xF0 | (cp >> 18))).put((byte) (0x80 | ((cp >> 12) & 0x3F)))
                        .put((byte) (0x80 | ((cp >> 6) & 0x3F))).put((byte) (0x80 | (cp & 0x3F)));
            } else if (Character.isSurrogate(c)) {
                b.put((byte) '?');
            } else {
                b.put((byte) (0xE0 | (c >> 12))).put((byte) (0x80 | ((c >> 6) & 0x3F)))
                        .put((byte) (0x80 | (c & 0x3F)));
            }
        }
        return true;
    }

    // Length and bytes in the reader's charset, replacing what it cannot
    // encode as String.getBytes does; false when they do not fit.
    private boolean putEncoded(String v) {
        final ByteBuffer b = buf;
        final int n = v.length();
        if (chars.length < n) {
            chars = new char[Math.max(n, 2 * chars.length)];
            charView = CharBuffer.wrap(chars);
        }
        v.getChars(0, n, chars, 0);
        CharBuffer in = charView;
        in.clear();
        in.limit(n);
        final int lengthAt = b.position();
        b.putInt(0);
        final int start = b.position();
        encoder.reset();
        CoderResult r = encoder.encode(in, b, true);
        if (!r.isOverflow())
            r = encoder.flush(b);
        if (r.isOverflow() || !b.hasRemaining())
            return false;
        b.putInt(lengthAt, b.position() - start);
        return true;
    }
}
