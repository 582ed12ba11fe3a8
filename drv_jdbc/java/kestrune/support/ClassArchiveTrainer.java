package kestrune.support;

import java.net.InetAddress;
import java.net.ServerSocket;
import java.util.Enumeration;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/**
 * Loads the classes a connection takes, so that a VM started to write a
 * class-data-sharing archive at its exit archives them: every class of the
 * JDBC driver's jars, initialized through the driver's loader, and the
 * platform classes a data-source connection attempt goes through (it goes to
 * a loopback port nobody listens on).  Then ends the VM, which writes the
 * archive.
 */
public final class ClassArchiveTrainer {
    private ClassArchiveTrainer() {
    }

    /** Trains with the loader over the jars and the data-source class, then exits the VM. */
    public static void run(ClassLoader loader, String[] jars, String dataSource) {
        try {
            attemptConnection(loader, dataSource);
            loadAll(loader, jars);
        } catch (Throwable t) {
            // Whatever was loaded is archived.
        }
        System.exit(0);
    }

    private static void attemptConnection(ClassLoader loader, String dataSource) throws Exception {
        int port;
        try (ServerSocket s = new ServerSocket(0, 1, InetAddress.getLoopbackAddress())) {
            port = s.getLocalPort();
        }
        try {
            Class<?> c = Class.forName(dataSource, true, loader);
            Object ds = c.getConstructor().newInstance();
            c.getMethod("setServerName", String.class).invoke(ds, "127.0.0.1");
            c.getMethod("setPortNumber", int.class).invoke(ds, port);
            c.getMethod("setDatabaseName", String.class).invoke(ds, "kestrune");
            ((javax.sql.DataSource) ds).getConnection("kestrune", "").close();
        } catch (Throwable t) {
            // Refused, as expected.
        }
    }

    private static void loadAll(ClassLoader loader, String[] jars) {
        for (String jar : jars) {
            try (JarFile jf = new JarFile(jar)) {
                for (Enumeration<JarEntry> e = jf.entries(); e.hasMoreElements();) {
                    String name = e.nextElement().getName();
                    if (!name.endsWith(".class") || name.startsWith("META-INF/") || name.contains("-"))
                        continue;
                    try {
                        Class.forName(name.substring(0, name.length() - 6).replace('/', '.'), true, loader);
                    } catch (Throwable t) {
                        // A class needing what is not there stays out.
                    }
                }
            } catch (Throwable t) {
                // An unreadable jar trains nothing.
            }
        }
    }
}
