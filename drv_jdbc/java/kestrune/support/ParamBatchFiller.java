package kestrune.support;

import java.math.BigDecimal;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.sql.PreparedStatement;
import java.sql.SQLException;
import java.sql.SQLWarning;

/**
 * Adds parameter sets to a PreparedStatement's batch from memory the driver
 * hands over, so that a block of sets crosses between the driver and Java in
 * one call instead of one call per value.
 *
 * The buffer starts with a header of int fields: the number of whole sets and
 * the offset after the last one, which the driver writes, and the sets added,
 * which the filler writes.  Then come the calls of each set, as the driver
 * would make them one by one: a one-byte code, the parameter index (int) and
 * the value; a set starts with clearParameters and ends with addBatch.
 * Numbers are in the platform's byte order.  A call that throws a SQLWarning
 * counts as done (the driver drops warnings of these calls); any other
 * exception ends the fill and is passed on once the header tells how many
 * sets were added.
 */
public final class ParamBatchFiller {
    // Header fields (byte offsets).
    static final int H_SETS = 0;   // whole sets in the buffer
    static final int H_END = 4;    // offset after the last set
    static final int H_DONE = 8;   // sets added by the last fill
    static final int H_CALLS = 16; // the first call

    // Call codes.
    static final int C_CLEAR = 1;        // clearParameters()
    static final int C_ADD = 2;          // addBatch()
    static final int C_NULL = 3;         // setNull(i, int type)
    static final int C_BOOLEAN = 4;      // setBoolean(i, byte 0 or 1)
    static final int C_BYTE = 5;         // setByte
    static final int C_SHORT = 6;        // setShort
    static final int C_INT = 7;          // setInt
    static final int C_LONG = 8;         // setLong
    static final int C_FLOAT = 9;        // setFloat
    static final int C_DOUBLE = 10;      // setDouble
    static final int C_OTHER = 11;       // setObject(i, text, Types.OTHER)
    static final int C_DECIMAL = 12;     // setBigDecimal(i, new BigDecimal(text))
    static final int C_BYTES = 13;       // setBytes(i, int length, bytes)
    static final int C_DATE = 14;        // setDate(i, new Date(year - 1900, month - 1, day)), three ints
    static final int C_TIME = 15;        // setTime(i, new Time(hours, minutes, seconds)), three ints
    static final int C_TIMESTAMP = 16;   // setTimestamp(i, new Timestamp(...)), seven ints

    // A text is one byte of form, an int length and the text: bytes in the
    // named charset (form 0, as new String(byte[], charsetName)) or UTF-16
    // units (form 1).
    static final int T_BYTES = 0;
    static final int T_UNITS = 1;

    private static final int OTHER = java.sql.Types.OTHER;

    private final ByteBuffer buf;
    private final String charsetName;
    private byte[] bytes = new byte[256];
    private char[] units = new char[128];

    /** A filler over a direct buffer; text of form 0 decodes in the named charset. */
    public ParamBatchFiller(ByteBuffer buf, String charsetName) {
        this.buf = buf.order(ByteOrder.nativeOrder());
        this.charsetName = charsetName;
    }

    /** Makes the calls of the buffer's sets on ps; answers the sets added. */
    public int fill(PreparedStatement ps) throws Exception {
        final ByteBuffer b = buf;
        final int sets = b.getInt(H_SETS);
        final int end = b.getInt(H_END);
        int done = 0;
        b.putInt(H_DONE, 0);
        b.clear();
        b.position(H_CALLS);
        try {
            while (done < sets && b.position() < end) {
                final int code = b.get();
                if (code == C_CLEAR) {
                    try {
                        ps.clearParameters();
                    } catch (SQLException | RuntimeException e) {
                        // The driver ignores a failed clear.
                    }
                    continue;
                }
                try {
                    call(ps, code);
                } catch (SQLWarning w) {
                    // Dropped, as the driver drops it.
                }
                if (code == C_ADD)
                    ++done;
            }
        } finally {
            b.putInt(H_DONE, done);
        }
        return done;
    }

    @SuppressWarnings("deprecation")
    private void call(PreparedStatement ps, int code) throws Exception {
        final ByteBuffer b = buf;
        if (code == C_ADD) {
            ps.addBatch();
            return;
        }
        final int i = b.getInt();
        switch (code) {
        case C_NULL: ps.setNull(i, b.getInt()); break;
        case C_BOOLEAN: ps.setBoolean(i, b.get() != 0); break;
        case C_BYTE: ps.setByte(i, b.get()); break;
        case C_SHORT: ps.setShort(i, b.getShort()); break;
        case C_INT: ps.setInt(i, b.getInt()); break;
        case C_LONG: ps.setLong(i, b.getLong()); break;
        case C_FLOAT: ps.setFloat(i, b.getFloat()); break;
        case C_DOUBLE: ps.setDouble(i, b.getDouble()); break;
        case C_OTHER: ps.setObject(i, text(), OTHER); break;
        case C_DECIMAL: ps.setBigDecimal(i, new BigDecimal(text())); break;
        case C_BYTES: {
            // A new array each time: the batch keeps it.
            byte[] v = new byte[b.getInt()];
            b.get(v);
            ps.setBytes(i, v);
            break;
        }
        case C_DATE: {
            int year = b.getInt(), month = b.getInt(), day = b.getInt();
            ps.setDate(i, new java.sql.Date(year - 1900, month - 1, day));
            break;
        }
        case C_TIME: {
            int hours = b.getInt(), minutes = b.getInt(), seconds = b.getInt();
            ps.setTime(i, new java.sql.Time(hours, minutes, seconds));
            break;
        }
        case C_TIMESTAMP: {
            int year = b.getInt(), month = b.getInt(), day = b.getInt(), hours = b.getInt(), minutes = b.getInt(),
                    seconds = b.getInt(), nanos = b.getInt();
            ps.setTimestamp(i, new java.sql.Timestamp(year - 1900, month - 1, day, hours, minutes, seconds, nanos));
            break;
        }
        default:
            throw new IllegalStateException("parameter block call " + code);
        }
    }

    // The next text of the buffer as a String.
    private String text() throws java.io.UnsupportedEncodingException {
        final ByteBuffer b = buf;
        final int form = b.get();
        final int n = b.getInt();
        if (form == T_UNITS) {
            if (units.length < n)
                units = new char[Math.max(n, 2 * units.length)];
            for (int k = 0; k < n; ++k)
                units[k] = b.getChar();
            return new String(units, 0, n);
        }
        if (bytes.length < n)
            bytes = new byte[Math.max(n, 2 * bytes.length)];
        b.get(bytes, 0, n);
        return new String(bytes, 0, n, charsetName);
    }
}
