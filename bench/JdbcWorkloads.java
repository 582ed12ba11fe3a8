// The workloads of bench_workloads written directly over pgjdbc, for the
// ratios scripts/bench_workloads.sh prints.  Usage:
//   java -cp postgresql.jar:. JdbcWorkloads <jdbc url> <user> <source table>
// One line per workload, "<name> <seconds> <items per second>", then
// "peak_rss_kb <n>" (the process's peak RSS once it had fetched).
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

public class JdbcWorkloads {
    static void report(String name, long start, double items) {
        double secs = (System.nanoTime() - start) / 1e9;
        System.out.printf("%s %.3f %.0f%n", name, secs, items / secs);
    }

    public static void main(String[] args) throws Exception {
        String url = args[0], user = args[1], source = args[2];
        Connection c = DriverManager.getConnection(url, user, "");
        String[] names = {"fetch", "getdata"};
        for (String name : names) {
            long t = System.nanoTime();
            try (Statement s = c.createStatement();
                 ResultSet rs = s.executeQuery("select id, name, amount, created from " + source)) {
                long rows = 0;
                while (rs.next()) {
                    rs.getInt(1);
                    rs.getString(2);
                    rs.getBigDecimal(3);
                    rs.getTimestamp(4);
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
        c.close();

        t = System.nanoTime();
        for (int i = 0; i < 50; ++i)
            DriverManager.getConnection(url, user, "").close();
        report("connect", t, 50);
        System.out.println("peak_rss_kb " + peakKb);
    }
}
