// The workloads of bench_workloads written directly over pgjdbc, for the
// ratios scripts/bench_workloads.sh prints.  Usage:
//   java -cp postgresql.jar:. JdbcWorkloads <jdbc url> <user> <source table> [workload,...]
// One line per workload, "<name> <seconds> <items per second>", then
// "peak_rss_kb <n>" (the process's peak RSS once it had fetched).  The
// optional list runs only the workloads it names; "first" alone connects,
// runs "select 1", reads its row and ends (the script times the process).
import java.math.BigDecimal;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.Statement;
import java.sql.Timestamp;
import java.time.LocalDateTime;

public class JdbcWorkloads {
    static void report(String name, long start, double items) {
        double secs = (System.nanoTime() - start) / 1e9;
        System.out.printf("%s %.3f %.0f%n", name, secs, items / secs);
    }

    static String only = "";

    static boolean runs(String name) {
        return only.isEmpty() || only.contains("," + name + ",");
    }

    public static void main(String[] args) throws Exception {
        String url = args[0], user = args[1], source = args[2];
        if (args.length > 3)
            only = "," + args[3] + ",";
        Connection c = DriverManager.getConnection(url, user, "");
        if (only.equals(",first,")) {
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("select 1")) {
                rs.next();
                rs.getInt(1);
            }
            c.close();
            return;
        }
        String[] names = {"fetch", "getdata"};
        long sink = 0;
        for (String name : names) {
            if (!runs(name))
                continue;
            long t = System.nanoTime();
            try (Statement s = c.createStatement();
                 ResultSet rs = s.executeQuery("select id, name, amount, created from " + source)) {
                // Each cell is read as bench_workloads reads it: the integer,
                // both texts (the numeric as its text, as SQL_C_CHAR asks)
                // and the timestamp's fields, which are folded into a sum
                // that is printed so that no read can be left out.
                long rows = 0;
                while (rs.next()) {
                    sink += rs.getInt(1);
                    String text = rs.getString(2);
                    sink += text == null ? 0 : text.length();
                    text = rs.getString(3);
                    sink += text == null ? 0 : text.length();
                    LocalDateTime ts = rs.getObject(4, LocalDateTime.class);
                    if (ts != null)
                        sink += ts.getYear() + ts.getMonthValue() + ts.getDayOfMonth() + ts.getHour() + ts.getMinute()
                                + ts.getSecond() + ts.getNano();
                    ++rows;
                }
                report(name, t, rows);
            }
        }

        long peakKb = -1;
        for (String l : Files.readAllLines(Paths.get("/proc/self/status")))
            if (l.startsWith("VmHWM:"))
                peakKb = Long.parseLong(l.replaceAll("[^0-9]", ""));

        String table = source + "_jins";
        if (runs("insert") || runs("array"))
            inserts(c, table);
        if (runs("columns")) {
            DatabaseMetaData md = c.getMetaData();
            long t = System.nanoTime();
            for (int i = 0; i < 200; ++i) {
                try (ResultSet rs = md.getColumns(null, null, source, null)) {
                    while (rs.next()) {
                        rs.getString(4);
                        rs.getShort(5);
                    }
                }
            }
            report("columns", t, 200);
        }
        c.close();

        if (runs("connect")) {
            long t = System.nanoTime();
            for (int i = 0; i < 50; ++i)
                DriverManager.getConnection(url, user, "").close();
            report("connect", t, 50);
        }
        System.out.println("peak_rss_kb " + peakKb);
        System.out.println("checksum " + sink);
    }

    static void inserts(Connection c, String table) throws Exception {
        try (Statement s = c.createStatement()) {
            s.execute("drop table if exists " + table);
            s.execute("create table " + table + " (id int4, name text, amount numeric(12,2), created timestamp)");
        }
        c.setAutoCommit(false);
        Timestamp created = Timestamp.valueOf("2024-01-02 03:04:05");
        try (PreparedStatement ps = c.prepareStatement("insert into " + table + " values (?, ?, ?, ?)")) {
            long t = System.nanoTime();
            for (int i = 0; i < 20000; ++i) {
                ps.setInt(1, i);
                ps.setString(2, "name " + i);
                ps.setBigDecimal(3, new BigDecimal("123.45"));
                ps.setTimestamp(4, created);
                ps.execute();
            }
            c.commit();
            report("insert", t, 20000);
            t = System.nanoTime();
            for (int b = 0; b < 200; ++b) {
                for (int i = 0; i < 1000; ++i) {
                    ps.setInt(1, b * 1000 + i);
                    ps.setString(2, "array " + (b * 1000 + i));
                    ps.setBigDecimal(3, new BigDecimal(i + ".25"));
                    ps.setTimestamp(4, created);
                    ps.addBatch();
                }
                ps.executeBatch();
            }
            c.commit();
            report("array", t, 200000);
        }
        c.setAutoCommit(true);
    }
}
