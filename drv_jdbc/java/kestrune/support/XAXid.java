package kestrune.support;

import javax.transaction.xa.XAException;
import javax.transaction.xa.Xid;

/** An X/Open branch identifier handed to the JDBC driver's XAResource. */
public class XAXid implements Xid {
    public int formatID;
    public byte[] gtrid;
    public byte[] bqual;

    public XAXid(Xid other) throws XAException {
        this(other.getFormatId(), other.getGlobalTransactionId(), other.getBranchQualifier());
    }

    /** Refuses a missing part or a part longer than 64 bytes with XAER_INVAL. */
    public XAXid(int formatID, byte[] gtrid, byte[] bqual) throws XAException {
        this.formatID = -1;
        if (gtrid == null || bqual == null || gtrid.length > 64 || bqual.length > 64)
            throw new XAException(XAException.XAER_INVAL);
        this.formatID = formatID;
        this.gtrid = gtrid;
        this.bqual = bqual;
    }

    public int getFormatId() { return formatID; }

    public byte[] getGlobalTransactionId() { return gtrid; }

    public byte[] getBranchQualifier() { return bqual; }

    public boolean equals(Object o) {
        if (!(o instanceof Xid))
            return false;
        Xid x = (Xid) o;
        if (formatID != x.getFormatId())
            return false;
        byte[] og = x.getGlobalTransactionId();
        byte[] ob = x.getBranchQualifier();
        if (gtrid != null && og != null && gtrid.length != og.length)
            return false;
        if (bqual != null && ob != null && bqual.length != ob.length)
            return false;
        if (gtrid != null && og != null) {
            for (int i = 0; i < gtrid.length; i++)
                if (gtrid[i] != og[i])
                    return false;
        }
        if (bqual != null && ob != null) {
            for (int i = 0; i < bqual.length; i++)
                if (bqual[i] != ob[i])
                    return false;
        }
        return true;
    }
}
